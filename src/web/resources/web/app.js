// The calendar page: a slot's recordings in a calendar, each playable in a dialog with its waveform.
// Slot names, titles and file names only ever reach the page as text.
import {hideFailure, request, showFailure} from '/request.js';

const RecordingsFailure = 'The recordings could not be loaded';

let currentSlot = '0';
let player = null;
let media = null; // the player's audio element
let calendar = null;
let currentEvent = null;
let bootstrapScript = null; // the dialog's and the phone menu's script, loaded once the calendar shows

// "3 dropouts, 0.4 s": audio the input lost inside the file, from its row.
function dropoutText(iCount, iSeconds) {
  return `${iCount} ${iCount === 1 ? 'dropout' : 'dropouts'}, ${Number(iSeconds || 0).toFixed(1)} s`;
}

// A recording with dropouts says so in every view: in its title (colour alone would not reach everyone) and in
// its colour.
function markDropouts(event) {
  if (!event.dropoutcount)
    return event;
  return Object.assign({}, event, {
    title: event.title + ' (' + dropoutText(event.dropoutcount, event.dropouts) + ')',
    classNames: ['recording-dropouts'],
    backgroundColor: '#a4161a',
    borderColor: '#a4161a',
  });
}

function switchSlot(slot) {
  for (const source of calendar.getEventSources())
    source.remove();
  currentSlot = slot;
  hideFailure(RecordingsFailure);
  const url = '/ws/slot/' + encodeURIComponent(slot) + '/calendarevents?';
  // Adding the source fetches the visible range; the calendar fetches every range it shows later. An answer for
  // a slot no longer shown leaves the message alone.
  calendar.addEventSource((range) => request('GET', url + new URLSearchParams({start: range.startStr, end: range.endStr}))
      .then((events) => {
        if (slot === currentSlot)
          hideFailure(RecordingsFailure);
        return events.map(markDropouts);
      }, (error) => {
        if (slot === currentSlot)
          showFailure(RecordingsFailure, error);
        throw error;
      }));
}

function destroyPlayer() {
  if (player) {
    player.destroy();
    player = null;
  }
  $('#playerDropoutMarks').empty();
  // The player leaves an element it was given alone: stop it and let go of the file.
  if (media) {
    media.pause();
    media.removeAttribute('src');
    media.load();
    media = null;
  }
}

// The event's start plus iSeconds, in one of moment's localised formats.
function eventTime(iSeconds, iFormat) {
  return moment(currentEvent.start).add(iSeconds, 'seconds').format(iFormat);
}

function showPosition() {
  $('#playerPosition').text(eventTime(player.getCurrentTime(), 'LTS'));
}

// The places where the input lost audio, under the waveform: iMarks holds [seconds into the file, seconds lost].
function showDropoutMarks(iMarks, iDuration) {
  const strip = $('#playerDropoutMarks').empty();
  if (!Array.isArray(iMarks) || !(iDuration > 0))
    return;
  for (const [at, seconds] of iMarks) {
    const percent = (value) => Number((Math.min(Math.max(value, 0), iDuration) / iDuration * 100).toPrecision(6)) + '%';
    const label = `Dropout at ${eventTime(at, 'LTS')}, ${Number(seconds).toFixed(1)} s`;
    $('<div class="dropout-mark" role="img">')
        .css({left: percent(at), width: `max(2px, ${percent(seconds)})`})
        .attr({'aria-label': label, title: label})
        .appendTo(strip);
  }
}

// Adds an iTag element with iAttributes to the head (a script or style sheet); settles once it has loaded.
function loadInto(iTag, iAttributes) {
  return new Promise((resolve, reject) => {
    const element = Object.assign(document.createElement(iTag), iAttributes);
    element.onload = resolve;
    element.onerror = () => reject(new Error('Could not load ' + (iAttributes.src || iAttributes.href)));
    document.head.append(element);
  });
}

// What only the player needs loads with the first recording opened, not with the page: the calendar shows
// sooner. The icons of its buttons come with it.
let playerModules = null;
function loadPlayerModules() {
  if (!playerModules) {
    loadInto('link', {rel: 'stylesheet', href: '/assets/fontawesome/css/all.min.css'}).catch(() => {}); // icons only
    playerModules = Promise.all([import('/assets/js/wavesurfer/wavesurfer.esm.js'),
                                 import('/assets/js/wavesurfer/plugins/timeline.esm.js'),
                                 loadInto('script', {src: '/assets/js/moment.min.js'})])
                        .then(([wavesurfer, timeline]) => ({WaveSurfer: wavesurfer.default,
                                                            TimelinePlugin: timeline.default}));
  }
  return playerModules;
}

async function openPlayer(event) {
  const url = '/ws/slot/' + encodeURIComponent(currentSlot) + '/getfile/' + encodeURIComponent(event.id) + '/' +
              encodeURIComponent(event.extendedProps.filename || '');
  currentEvent = event;
  $('#playerTitle').text('');
  $('#playerDownloadButton').attr('href', url);

  destroyPlayer();
  $('#playerLoadingLabel').text('');
  $('#playerLoading').show();
  $('#playerPosition').hide();
  $('#playButton, #pauseButton').prop('disabled', true);
  $('#playerModal').modal('show');
  let modules;
  try {
    modules = await loadPlayerModules();
  } catch (error) {
    playerModules = null;
    $('#playerLoading').hide();
    $('#playerPosition').text(String(error && error.message ? error.message : error)).show();
    return;
  }
  if (currentEvent !== event)
    return; // the dialog was closed, or another recording opened, meanwhile
  $('#playerTitle').text(moment(event.start).format('LLLL'));
  const {WaveSurfer, TimelinePlugin} = modules;
  // The audio element plays the file from its address, so the browser fetches it in byte ranges as it needs
  // them; the player reads the whole file once only to draw the waveform. Given the same address, the player
  // keeps the element's source instead of swapping in its downloaded copy.
  const address = new URL(url, document.baseURI).href;
  media = new Audio();
  media.preload = 'auto';
  media.src = address;
  player = WaveSurfer.create({
    container: '#playerWaveform',
    media: media,
    waveColor: 'blue',
    progressColor: 'lightblue',
    backend: 'MediaElement',
    plugins: [TimelinePlugin.create({
      container: '#playerWaveformTimeline',
      formatTimeCallback: (seconds) => eventTime(seconds, 'LT'),
    })],
  });
  player.on('loading', (percent) => {
    $('#playerLoadingLabel').text(percent >= 100 ? 'Decoding...' : 'Downloading... ' + percent + '%');
  });
  player.on('ready', () => {
    showDropoutMarks(event.extendedProps.dropoutmarks, player.getDuration());
    $('#playerLoading').hide();
    $('#playerPosition').text('').show();
    $('#playButton').prop('disabled', false);
  });
  player.on('play', () => {
    $('#playButton').prop('disabled', true);
    $('#pauseButton').prop('disabled', false);
  });
  const stopped = () => {
    $('#playButton').prop('disabled', false);
    $('#pauseButton').prop('disabled', true);
  };
  player.on('pause', stopped);
  player.on('finish', stopped);
  player.on('audioprocess', showPosition);
  player.on('seeking', showPosition);
  player.on('error', (error) => {
    $('#playerLoading').hide();
    $('#playerPosition').text(String(error && error.message ? error.message : error)).show();
  });

  player.load(address).catch(() => {}); // failures arrive through the error event
}

$(function () {
  request('GET', '/ws/slots').then((slots) => {
    const selector = $('#slotselector');
    for (const slot of slots)
      selector.append($('<option>').val(String(slot.ID)).text(slot.Name));
  }, (error) => showFailure('The slots could not be loaded', error));

  calendar = new FullCalendar.Calendar(document.getElementById('calendar'), {
    plugins: ['dayGrid', 'timeGrid', 'list', 'bootstrap'],
    themeSystem: 'bootstrap',
    // Words instead of Font Awesome's arrows: the icon font (78 KB) is then fetched only when the player opens.
    bootstrapFontAwesome: false,
    buttonText: {prev: 'Previous', next: 'Next'},
    defaultView: 'list',
    header: {left: 'prev,next today', center: 'title', right: 'timeGridWeek,timeGridDay,list'},
    allDaySlot: false,
    // The list grows with its recordings instead of scrolling inside a box sized from the width (a phone's
    // narrow screen gave it a quarter of its height).
    views: {list: {height: 'auto'}},
    eventRender: (info) => {
      const props = info.event.extendedProps;
      if (props.dropoutcount)
        info.el.title = dropoutText(props.dropoutcount, props.dropouts);
    },
    eventClick: (info) => {
      info.jsEvent.preventDefault();
      bootstrapScript.then(() => openPlayer(info.event),
                           (error) => showFailure('The player could not be loaded', error));
    },
  });
  calendar.render();
  switchSlot('0');
  bootstrapScript = loadInto('script', {src: '/assets/js/bootstrap.min.js'});

  $('#slotselector').on('change', function () {
    switchSlot($(this).val());
  });
  $('#playerModal').on('hidden.bs.modal', () => {
    currentEvent = null; // a player still loading its modules is not made
    destroyPlayer();
  });
  $('#playButton').on('click', () => player && player.play());
  $('#pauseButton').on('click', () => player && player.pause());
});
