// The control page: START and STOP per slot, coloured by whether the slot records.
function showState() {
  $.getJSON('/ws/slots', function (slots) {
    $.each(slots, function (i, slot) {
      if (slot.Recording) {
        $('#start-' + i).addClass('started');
        $('#stop-' + i).removeClass('stopped');
      } else {
        $('#start-' + i).removeClass('started');
        $('#stop-' + i).addClass('stopped');
      }
    });
  });
}

function sendCommand(i, iAction) {
  $.post('/execute', {command: 'SLOT ' + (i + 1) + ' ' + iAction});
  setTimeout(showState, 500);
}

$(function () {
  $.ajaxSetup({cache: false});
  $.getJSON('/ws/slots', function (slots) {
    $.each(slots, function (i, slot) {
      const box = $('<div class="slot">').attr('id', 'slot-' + i);
      box.append($('<div class="slot-name">').attr('id', 'slot-name-' + i).text(slot.Name));
      box.append($('<button type="button">').attr('id', 'start-' + i).text('START')
                   .on('click', function () { sendCommand(i, 'START'); }));
      box.append($('<button type="button">').attr('id', 'stop-' + i).text('STOP')
                   .on('click', function () { sendCommand(i, 'STOP'); }));
      $('#list').append(box);
    });
    showState();
    setInterval(showState, 5000);
  });
});
