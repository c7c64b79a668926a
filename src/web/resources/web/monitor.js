// The live monitor: a card per slot with what the desktop window shows, from the server's event stream
// (/ws/events, ten events a second), which the browser reconnects by itself. START and STOP for administrators.
import {access} from '/navigation.js';
import {hideFailure, request, showFailure} from '/request.js';

const CommandFailure = 'The command could not be sent';
// The meters fall by 20 dB in 1.5 s, as the window's do.
const FallPerSecond = Math.pow(10, -20 / 20 / 1.5);

let admin = false;
const cards = new Map(); // slot ID -> {elements, shown levels}
let lastFrame = performance.now();

// Position on the meter (0..1) of a linear level, on the window's scale.
function meterPosition(iLinear) {
  const d = iLinear === 0 ? -999 : 20 * Math.log10(iLinear);
  if (d <= -200)
    return 0;
  if (d <= -60)
    return (d + 200) * 0.03 / 140;
  if (d <= -40)
    return 0.03 + (d + 60) * 0.12 / 20;
  if (d <= -30)
    return 0.15 + (d + 40) * 0.15 / 10;
  if (d <= -20)
    return 0.30 + (d + 30) * 0.2 / 10;
  return Math.min(1, 0.5 + (d + 20) * 0.5 / 20);
}

function clock(iSeconds) {
  if (iSeconds === null || iSeconds === undefined)
    return '';
  const s = Math.max(0, Math.floor(iSeconds));
  const days = Math.floor(s / 86400);
  const time = [Math.floor(s / 3600) % 24, Math.floor(s / 60) % 60, s % 60].map((n) => String(n).padStart(2, '0'));
  return (days > 0 ? days + 'd ' : '') + time.join(':');
}

function bytes(iCount) {
  if (iCount === null || iCount === undefined)
    return 'unknown';
  const units = ['B', 'KB', 'MB', 'GB', 'TB'];
  let value = iCount;
  let unit = 0;
  while (value >= 1000 && unit < units.length - 1) {
    value /= 1000;
    ++unit;
  }
  return value.toFixed(unit === 0 ? 0 : 1) + ' ' + units[unit];
}

function make(iTag, iClass = '', iText = '') {
  const element = document.createElement(iTag);
  element.className = iClass;
  element.textContent = iText;
  return element;
}

function meter(iLabel) {
  const box = make('div', 'meter');
  box.setAttribute('role', 'meter');
  box.setAttribute('aria-label', iLabel);
  box.setAttribute('aria-valuemin', '0');
  box.setAttribute('aria-valuemax', '100');
  const bar = make('div', 'meter-bar');
  const nominal = make('div', 'meter-nominal');
  box.append(bar, nominal);
  return {box, bar, nominal};
}

function sendCommand(iSlot, iAction) {
  request('POST', '/execute', new URLSearchParams({command: 'SLOT ' + (iSlot + 1) + ' ' + iAction}))
      .then(() => hideFailure(CommandFailure), (error) => showFailure(CommandFailure, error));
}

function createCard(iSlot) {
  const column = make('div', 'col-sm-6 col-lg-4 col-xl-3 mb-3');
  const card = make('section', 'card slot-card h-100');
  card.dataset.slot = String(iSlot.ID);
  const body = make('div', 'card-body p-2');
  const title = make('h2', 'card-title h6 mb-1');
  const lamp = make('span', 'lamp');
  lamp.setAttribute('role', 'img');
  const name = make('span', 'slot-name');
  title.append(lamp, name);
  const left = meter('Left level');
  const right = meter('Right level');
  const lines = {};
  for (const line of ['input', 'file', 'times', 'dropouts', 'streaming', 'space'])
    lines[line] = make('p', 'card-text small mb-0 slot-' + line);
  body.append(title, left.box, right.box, ...Object.values(lines));
  const buttons = make('div', 'mt-2 admin-only');
  buttons.hidden = !admin;
  for (const action of ['START', 'STOP']) {
    const button = make('button', 'btn btn-sm mr-2 ' + (action === 'START' ? 'btn-success' : 'btn-danger'), action);
    button.type = 'button';
    button.dataset.action = action;
    button.addEventListener('click', () => sendCommand(iSlot.ID, action));
    buttons.append(button);
  }
  body.append(buttons);
  card.append(body);
  column.append(card);
  document.getElementById('slots').append(column);
  return {column, card, lamp, name, left, right, lines, buttons, shownLeft: 0, shownRight: 0, peakLeft: 0, peakRight: 0,
          nominal: 0};
}

function setLine(iElement, iText, iProblem = false) {
  iElement.textContent = iText;
  iElement.hidden = iText === '';
  iElement.classList.toggle('problem', iProblem);
}

function showSlot(iSlot) {
  const card = cards.get(iSlot.ID) || createCard(iSlot);
  cards.set(iSlot.ID, card);
  card.name.textContent = iSlot.Name;
  card.lamp.className = 'lamp lamp-' + iSlot.Lamp;
  card.lamp.setAttribute('aria-label', {ok: 'working', disabled: 'switched off', error: 'fault'}[iSlot.Lamp]);
  card.card.dataset.lamp = iSlot.Lamp;
  card.peakLeft = iSlot.LevelLeft;
  card.peakRight = iSlot.LevelRight;
  card.nominal = iSlot.NominalLevel <= -100 ? 0 : Math.pow(10, iSlot.NominalLevel / 20);
  for (const side of [card.left, card.right])
    side.nominal.style.left = (meterPosition(card.nominal) * 100) + '%';

  let input = '';
  let inputProblem = false;
  if (iSlot.Source === 'device') {
    input = iSlot.Device || 'Error: ' + iSlot.Error;
    inputProblem = !iSlot.Device;
  } else if (iSlot.Source === 'stream') {
    input = iSlot.StreamOpen ? (iSlot.StreamTitle || iSlot.StreamURL) : (iSlot.StreamStatus || iSlot.Error);
    inputProblem = !iSlot.StreamOpen;
  } else {
    input = 'Disabled';
  }
  setLine(card.lines.input, input, inputProblem);
  setLine(card.lines.file, iSlot.Recording ? iSlot.File : (iSlot.Enabled ? '' : 'Encoder stopped'));
  setLine(card.lines.times, iSlot.Recording ?
      'Recording ' + clock(iSlot.RecordingSeconds) + ', silence ' + clock(iSlot.SilenceSeconds) : '');
  setLine(card.lines.dropouts, iSlot.FileDropoutCount > 0 ?
      `${iSlot.FileDropoutCount} ${iSlot.FileDropoutCount === 1 ? 'dropout' : 'dropouts'}, ` +
      `${iSlot.FileDropouts.toFixed(1)} s in this file` : '', true);
  let streaming = '';
  if (iSlot.Streaming !== 'disabled') {
    streaming = {connecting: 'Stream connecting...', connected: 'Stream online', error: 'Stream error'}[iSlot.Streaming];
    if (iSlot.StreamingMessage)
      streaming += ' - ' + iSlot.StreamingMessage;
    if (iSlot.StreamingSeconds !== null)
      streaming += ' [' + clock(iSlot.StreamingSeconds) + ']';
    if (iSlot.Streaming === 'connected')
      streaming += ', ' + iSlot.Listeners + (iSlot.Listeners === 1 ? ' listener' : ' listeners');
  }
  setLine(card.lines.streaming, streaming, iSlot.Streaming === 'connecting' || iSlot.Streaming === 'error');
  setLine(card.lines.space, 'Free space: ' + bytes(iSlot.FreeBytes));
}

function showEvent(iSlots) {
  const seen = new Set();
  for (const slot of iSlots) {
    showSlot(slot);
    seen.add(slot.ID);
  }
  for (const [id, card] of cards)
    if (!seen.has(id)) {
      card.column.remove();
      cards.delete(id);
    }
}

function drawMeters(iNow) {
  const fall = Math.pow(FallPerSecond, (iNow - lastFrame) / 1000);
  lastFrame = iNow;
  for (const card of cards.values())
    for (const [side, shown, peak] of [['left', 'shownLeft', 'peakLeft'], ['right', 'shownRight', 'peakRight']]) {
      card[shown] = Math.max(card[shown] * fall, card[peak]);
      const level = card[shown];
      const bar = card[side].bar;
      bar.style.width = (meterPosition(level) * 100) + '%';
      bar.classList.toggle('clipping', level > 1);
      bar.classList.toggle('over-nominal', level <= 1 && card.nominal > 0 && level > card.nominal);
      card[side].box.setAttribute('aria-valuenow', String(Math.round(meterPosition(level) * 100)));
    }
  requestAnimationFrame(drawMeters);
}

function connect() {
  const connection = document.getElementById('connection');
  const events = new EventSource('/ws/events');
  events.onopen = () => {
    connection.hidden = true;
  };
  events.onmessage = (message) => {
    connection.hidden = true;
    showEvent(JSON.parse(message.data));
  };
  // The browser reconnects by itself; a stream it gave up on (the server refused it) is opened again.
  events.onerror = () => {
    connection.hidden = false;
    if (events.readyState === EventSource.CLOSED)
      setTimeout(connect, 2000);
  };
}

access.then((answer) => {
  admin = answer.Level === 'admin';
  for (const card of cards.values())
    card.buttons.hidden = !admin;
}, () => {});
connect();
requestAnimationFrame(drawMeters);
