// The control page: START and STOP per slot, coloured by whether the slot records. Users who may not switch
// slots see whether each records instead of buttons that would be refused.
import {access} from '/navigation.js';
import {hideFailure, request, showFailure} from '/request.js';

const ListFailure = 'The slots could not be loaded';
const CommandFailure = 'The command could not be sent';

async function loadSlots() {
  try {
    const slots = await request('GET', '/ws/slots');
    hideFailure(ListFailure);
    return slots;
  } catch (error) {
    showFailure(ListFailure, error);
    return null;
  }
}

async function showState() {
  const slots = await loadSlots();
  slots?.forEach((slot, i) => {
    document.getElementById('start-' + i)?.classList.toggle('started', Boolean(slot.Recording));
    document.getElementById('stop-' + i)?.classList.toggle('stopped', !slot.Recording);
    const state = document.getElementById('state-' + i);
    if (state) {
      state.textContent = slot.Recording ? 'recording' : 'stopped';
      state.classList.toggle('started', Boolean(slot.Recording));
      state.classList.toggle('stopped', !slot.Recording);
    }
  });
}

function sendCommand(i, iAction) {
  request('POST', '/execute', new URLSearchParams({command: 'SLOT ' + (i + 1) + ' ' + iAction}))
      .then(() => hideFailure(CommandFailure), (error) => showFailure(CommandFailure, error));
  setTimeout(showState, 500);
}

function element(iTag, iId, iText, iClass = '') {
  const result = document.createElement(iTag);
  result.id = iId;
  result.textContent = iText;
  result.className = iClass;
  return result;
}

async function start() {
  const [slots, level] = await Promise.all([loadSlots(), access.then((answer) => answer.Level, () => '')]);
  if (!slots)
    return;
  const admin = level === 'admin';
  slots.forEach((slot, i) => {
    const box = element('div', 'slot-' + i, '', 'slot');
    box.append(element('div', 'slot-name-' + i, slot.Name, 'slot-name'));
    if (!admin) {
      box.append(element('span', 'state-' + i, '', 'slot-state'));
      document.getElementById('list').append(box);
      return;
    }
    for (const action of ['START', 'STOP']) {
      const button = element('button', action.toLowerCase() + '-' + i, action);
      button.type = 'button';
      button.addEventListener('click', () => sendCommand(i, action));
      box.append(button);
    }
    document.getElementById('list').append(box);
  });
  showState();
  setInterval(showState, 5000);
}

start();
