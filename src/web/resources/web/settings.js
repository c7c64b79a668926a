// The settings page: every slot's settings in the groups of the desktop's slot dialog, and the program's settings.
// Values travel under the keys and words of the configuration file; the server checks every change and answers
// a refusal with messages at their keys, shown here at their fields. Texts from the server only reach the page as
// text (never as markup).
import {hideFailure, request, showFailure} from '/request.js';

// The slot settings' groups and fields come from the server's key table (/ws/config/schema): kind text, number,
// switch, choice, source, device or password; note: a unit or hint; role: the field's part in the dialog's rules.
let SlotGroups = [];
// The keys of the fields with a role ("source", "device", "format", ...), and the format rows' word lists.
let roles = {};
let formatRule = {Custom: [], NoBitrate: []};

function fieldKind(iRow) {
  if (iRow.WriteOnly)
    return 'password';
  if (iRow.Page.Role === 'source' || iRow.Page.Role === 'device')
    return iRow.Page.Role;
  return {word: 'choice'}[iRow.Kind] ?? iRow.Kind;
}

// The schema's rows as the groups of the form, in the page's order.
function groupsFromSchema(iSchema) {
  const groups = [];
  roles = {};
  for (const row of [...iSchema.Keys].sort((a, b) => a.Page.Order - b.Page.Order)) {
    const options = {note: row.Page.Note || undefined, min: row.Min, max: row.Max, list: row.Suggestions,
                     role: row.Page.Role, selects: row.Page.Selects};
    if (row.Choices)
      options.choices = row.Choices.map((word, i) => [word, row.Page.Captions?.[i] ?? word]);
    if (row.Page.Role)
      roles[row.Page.Role] = row.Key;
    if (row.Page.Role === 'format')
      formatRule = {Custom: row.Page.Custom, NoBitrate: row.Page.NoBitrate};
    if (groups.at(-1)?.[0] !== row.Page.Group)
      groups.push([row.Page.Group, []]);
    groups.at(-1)[1].push([row.Key, fieldKind(row), row.Page.Label, options]);
  }
  return groups;
}

// The field of a role's key.
function roleField(iRole) {
  return document.getElementById(fieldId(roles[iRole]));
}

const ProgramGroups = [
  ['Web Server', [
    ['Webserver.Port', 'text', 'Port:'],
    ['Webserver.AdminUser', 'text', 'Admin user:'],
    ['Webserver.AdminPassword', 'password', 'Password:', {note: 'leave empty to keep'}],
    ['Webserver.ReadOnlyUser', 'text', 'Read-only user:'],
    ['Webserver.ReadOnlyPassword', 'password', 'Password:', {note: 'leave empty to keep'}],
    ['Webserver.AnonymousAccess', 'choice', 'Anonymous access:',
     {choices: [['none', 'none'], ['Admin', 'admin'], ['ReadOnly', 'read-only']]}],
  ], 'The web server takes these settings at its next start.'],
  ['E-Mail', [
    ['EMail.SMTPServer', 'text', 'SMTP server:'],
    ['EMail.SMTPPort', 'text', 'Port:'],
    ['EMail.Encryption', 'choice', 'Encryption:', {choices: [['none', 'none'], ['STARTTLS', 'STARTTLS'], ['SSL', 'SSL']]}],
    ['EMail.User', 'text', 'Auth User:'],
    ['EMail.Password', 'password', 'Password:', {note: 'leave empty to keep'}],
    ['EMail.FromAddress', 'text', 'From address:'],
    ['EMail.Receipients', 'text', 'Recipients:'],
    ['EMail.VerifyCertificate', 'switch', "Verify the server's certificate"],
  ]],
];

// Failures that the next view or change replaces; those of loading the page stay.
const SlotFailure = 'The settings of this slot could not be loaded';
const ProgramFailure = 'The program settings could not be loaded';
const SaveFailure = 'The settings were not saved';
const TestEmailFailure = 'The test e-mail was not sent';

let devices = [];
let slots = [];
// What the server keeps from being changed here: {Settings: [keys], Formats: [words]}, with its reason.
let locked = {Settings: [], Formats: []};
let lockedReason = '';
let currentSlot = null;
let loaded = {}; // the values the form was filled with, to send only what changed

function element(iTag, iClass, iText) {
  const result = document.createElement(iTag);
  if (iClass)
    result.className = iClass;
  if (iText !== undefined)
    result.textContent = iText;
  return result;
}

function fieldId(iKey) {
  return 'field-' + iKey.replace(/\./g, '-');
}

function showMessage(iKind, iText) {
  const box = document.getElementById('pageMessage');
  box.className = 'alert alert-' + iKind;
  box.textContent = iText;
}

function hideMessage() {
  document.getElementById('pageMessage').className = 'alert d-none';
}

// One form row: the label, the control and its message place. A row without a label of its own continues the
// row before (the number of "Delete recordings older than"): iNameBefore names it for screen readers.
function buildField([key, kind, label, options = {}], iNameBefore = '') {
  const group = element('div', 'form-group row');
  group.dataset.key = key;
  const id = fieldId(key);
  let control;
  if (kind === 'switch') {
    const wrapper = element('div', 'col-sm-9 offset-sm-3');
    const check = element('div', 'custom-control custom-checkbox');
    control = element('input', 'custom-control-input');
    control.type = 'checkbox';
    const text = element('label', 'custom-control-label', label);
    text.htmlFor = id;
    check.append(control, text);
    wrapper.append(check);
    group.append(wrapper);
  } else {
    const text = element('label', 'col-sm-3 col-form-label', label);
    text.htmlFor = id;
    const wrapper = element('div', 'col-sm-9');
    if (kind === 'source') {
      control = element('div');
      for (const [value, caption] of options.choices) {
        const radio = element('div', 'custom-control custom-radio custom-control-inline');
        const input = element('input', 'custom-control-input');
        input.type = 'radio';
        input.name = key;
        input.value = value;
        input.id = id + '-' + value;
        const radioLabel = element('label', 'custom-control-label', caption);
        radioLabel.htmlFor = input.id;
        radio.append(input, radioLabel);
        control.append(radio);
      }
    } else if (kind === 'choice' || kind === 'device') {
      control = element('select', 'custom-select');
      for (const [value, caption] of options.choices || [])
        control.append(new Option(caption, value));
    } else {
      control = element('input', 'form-control');
      control.type = kind === 'password' ? 'password' : kind === 'number' ? 'number' : 'text';
      if (kind === 'password')
        control.autocomplete = 'new-password';
      if (options.min !== undefined)
        control.min = options.min;
      if (options.max !== undefined)
        control.max = options.max;
      if (options.list) {
        const list = element('datalist');
        list.id = id + '-list';
        for (const value of options.list)
          list.append(new Option(value, value));
        wrapper.append(list);
        control.setAttribute('list', list.id);
      }
    }
    const line = element('div', 'input-group');
    line.append(control);
    if (options.note) {
      const append = element('div', 'input-group-append');
      append.append(element('span', 'input-group-text', options.note));
      line.append(append);
    }
    wrapper.prepend(line);
    wrapper.append(element('div', 'invalid-feedback'));
    group.append(text, wrapper);
  }
  if (kind !== 'source')
    control.id = id;
  if (!label)
    control.setAttribute('aria-label', [iNameBefore, options.note].filter(Boolean).join(', '));
  control.dataset.kind = kind;
  if (kind === 'switch') {
    const feedback = element('div', 'invalid-feedback');
    group.firstChild.firstChild.append(feedback);
  }
  return group;
}

function buildGroups(iContainer, iGroups) {
  iContainer.replaceChildren();
  for (const [title, fields, note] of iGroups) {
    const card = element('div', 'card mb-3');
    card.append(element('div', 'card-header', title));
    const body = element('div', 'card-body');
    if (note)
      body.append(element('p', 'text-muted small', note));
    let nameBefore = '';
    for (const field of fields) {
      body.append(buildField(field, nameBefore));
      nameBefore = field[2] || nameBefore;
    }
    card.append(body);
    iContainer.append(card);
  }
}

function fieldGroup(iKey) {
  return document.querySelector(`.form-group[data-key="${CSS.escape(iKey)}"]`);
}

function setValue(iKey, iValue) {
  if (iKey === roles.source) {
    for (const radio of document.querySelectorAll(`input[name="${CSS.escape(iKey)}"]`))
      radio.checked = radio.value === iValue;
    return;
  }
  const control = document.getElementById(fieldId(iKey));
  if (!control)
    return;
  if (control.dataset.kind === 'switch')
    control.checked = iValue === 'on';
  else if (control.dataset.kind === 'device') {
    // A stored device that the registry no longer has stays selectable, marked as missing.
    if (iValue && !devices.some((d) => d.ID === iValue))
      control.append(new Option(iValue + ' (not available)', iValue));
    control.value = iValue;
  } else if (control.dataset.kind !== 'password')
    control.value = iValue === undefined || iValue === null ? '' : String(iValue);
}

function getValue(iKey, iKind) {
  if (iKind === 'source') {
    // Nothing chosen reads as the first choice, the disabled input.
    const name = `input[name="${CSS.escape(iKey)}"]`;
    return (document.querySelector(name + ':checked') ?? document.querySelector(name)).value;
  }
  const control = document.getElementById(fieldId(iKey));
  switch (control.dataset.kind) {
    case 'switch':
      return control.checked ? 'on' : 'off';
    case 'number': {
      // Text that is no whole number goes to the server as typed, which says so at the field.
      const text = control.value.trim();
      return /^[-+]?\d+$/.test(text) ? parseInt(text, 10) : text;
    }
    default:
      return control.value;
  }
}

function clearMessages() {
  hideMessage();
  for (const what of [SlotFailure, ProgramFailure, SaveFailure, TestEmailFailure])
    hideFailure(what);
  for (const invalid of document.querySelectorAll('.is-invalid'))
    invalid.classList.remove('is-invalid');
  for (const feedback of document.querySelectorAll('.invalid-feedback')) {
    feedback.textContent = '';
    feedback.style.display = '';
  }
}

// A refused change: the server's messages at their fields; any other failure as it is.
function showSaveFailure(iError) {
  if (iError.body?.Errors)
    showErrors(iError.body.Errors, iError.body.Error);
  else
    showFailure(SaveFailure, iError);
}

// The server's refusal: each message at its field, those without one above the form (iSummary first).
function showErrors(iErrors, iSummary) {
  const general = [];
  for (const {Key, Message} of iErrors) {
    const group = Key ? fieldGroup(Key) : null;
    if (!group) {
      general.push((Key ? Key + ': ' : '') + Message);
      continue;
    }
    const controls = group.querySelectorAll('input, select');
    for (const control of controls)
      control.classList.add('is-invalid');
    const feedback = group.querySelector('.invalid-feedback');
    feedback.textContent = Message;
    feedback.style.display = 'block';
  }
  if (iSummary)
    general.unshift(iSummary);
  showMessage('danger', general.length ? general.join(' ') : 'The settings were not saved: please check the marked fields.');
  const first = document.querySelector('.is-invalid');
  first?.scrollIntoView({block: 'center'});
}

// The dialog's format rule: the WAV and custom formats have no bit rate (stored as 0).
function formatChanged() {
  if (formatRule.NoBitrate.includes(roleField('format').value))
    roleField('bitrate').value = '0';
  applyFormatRule();
}

function applyFormatRule() {
  const custom = formatRule.Custom.includes(roleField('format').value);
  fieldGroup(roles['file-extension']).classList.toggle('d-none', !custom);
  updateEstimate();
}

// The storage estimate beside the cleanup days, as the dialog shows it.
function updateEstimate() {
  const custom = formatRule.Custom.includes(roleField('format').value);
  const bitrate = parseInt(roleField('bitrate').value, 10) || 0;
  const days = parseInt(roleField('days').value, 10) || 0;
  const note = fieldGroup(roles.days).querySelector('.input-group-text');
  note.textContent = bitrate === 0 || custom ? 'days' : `days (~${Math.floor((bitrate * 128 * 86400 * days) / 2 ** 30)} GB)`;
}

function buildSlotForm() {
  buildGroups(document.getElementById('slotGroups'), SlotGroups);
  const device = roleField('device');
  device.append(new Option('(none)', ''));
  for (const {ID, Name} of devices)
    device.append(new Option(Name, ID));
  // The dialog's rules: choosing a device selects the sound card, typing a URL selects the stream.
  for (const [role, event] of [['device', 'change'], ['stream-url', 'input']]) {
    const selects = SlotGroups.flatMap(([, fields]) => fields).find(([key]) => key === roles[role])[3].selects;
    roleField(role).addEventListener(event, () => setValue(roles.source, selects));
  }
  roleField('format').addEventListener('change', formatChanged);
  for (const role of ['bitrate', 'days'])
    roleField(role).addEventListener('input', updateEstimate);
  showLockedFields();
}

// Settings that run code on the recorder are shown read-only, with the reason, unless the server allows them.
function showLockedFields() {
  if (!lockedReason)
    return;
  for (const key of locked.Settings) {
    const control = document.getElementById(fieldId(key));
    if (!control)
      continue;
    control.readOnly = true;
    control.title = lockedReason;
    fieldGroup(key).querySelector('.col-sm-9').append(element('small', 'form-text text-muted', lockedReason + '.'));
  }
  for (const option of roleField('format').options)
    if (locked.Formats.includes(option.value)) {
      option.disabled = true;
      option.textContent += ' (locked)';
    }
  fieldGroup(roles.plugin).querySelector('.col-sm-9').append(
      element('small', 'form-text text-muted', 'Only plug-ins of the LADSPA folders can be chosen here.'));
}

async function showSlot(iSlot) {
  clearMessages();
  let body;
  try {
    body = await request('GET', '/ws/config/slots/' + iSlot);
  } catch (error) {
    showFailure(SlotFailure, error);
    return;
  }
  currentSlot = iSlot;
  buildSlotForm();
  const slot = slots.find((s) => s.ID === iSlot);
  document.getElementById('slotTitle').textContent =
      `Slot ${iSlot + 1}` + (slot.AlarmOnly ? ' (Alarm only)' : '') + ': ' + body.Name;
  roleField('format').disabled = slot.AlarmOnly;
  loaded = body;
  for (const [key, value] of Object.entries(body))
    setValue(key, value);
  // A stored format that is locked stays shown as it is.
  const format = roleField('format');
  if (format.selectedOptions[0])
    format.selectedOptions[0].disabled = false;
  applyFormatRule();
  for (const item of document.querySelectorAll('#slotList .list-group-item'))
    item.classList.toggle('active', item.dataset.slot === String(iSlot));
  document.getElementById('programLink').classList.remove('active');
  document.getElementById('programForm').classList.add('d-none');
  document.getElementById('slotForm').classList.remove('d-none');
}

function changedValues(iGroups, iLoaded) {
  const result = {};
  for (const [, fields] of iGroups)
    for (const [key, kind] of fields) {
      const value = getValue(key, kind);
      if (kind === 'password' ? value !== '' : value !== iLoaded[key])
        result[key] = value;
    }
  return result;
}

async function saveSlot(iEvent) {
  iEvent.preventDefault();
  clearMessages();
  const change = changedValues(SlotGroups, loaded);
  let body;
  try {
    body = await request('POST', '/ws/config/slots/' + currentSlot, change);
  } catch (error) {
    showSaveFailure(error);
    return;
  }
  await loadSlots();
  await showSlot(currentSlot);
  showMessage('success', body.Changed.length ? 'Saved: ' + body.Changed.join(', ') + '.' : 'Nothing was changed.');
}

async function showProgram() {
  clearMessages();
  let body;
  try {
    body = await request('GET', '/ws/config/program');
  } catch (error) {
    showFailure(ProgramFailure, error);
    return;
  }
  buildGroups(document.getElementById('programGroups'), ProgramGroups);
  loaded = {};
  for (const [section, values] of Object.entries(body))
    for (const [key, value] of Object.entries(values)) {
      loaded[section + '.' + key] = value;
      setValue(section + '.' + key, value);
    }
  for (const item of document.querySelectorAll('#slotList .list-group-item'))
    item.classList.remove('active');
  document.getElementById('programLink').classList.add('active');
  document.getElementById('slotForm').classList.add('d-none');
  document.getElementById('programForm').classList.remove('d-none');
}

async function saveProgram(iEvent) {
  iEvent.preventDefault();
  clearMessages();
  const change = {};
  for (const [key, value] of Object.entries(changedValues(ProgramGroups, loaded))) {
    const [section, name] = key.split('.');
    (change[section] ??= {})[name] = value;
  }
  let body;
  try {
    body = await request('POST', '/ws/config/program', change);
  } catch (error) {
    showSaveFailure(error);
    return;
  }
  await showProgram();
  showMessage('success', body.Changed.length ? 'Saved: ' + body.Changed.join(', ') + '.' : 'Nothing was changed.');
}

async function sendTestEmail() {
  clearMessages();
  showMessage('info', 'Sending the test e-mail...');
  try {
    const body = await request('POST', '/ws/config/testemail', {});
    showMessage('success', body.Message);
  } catch (error) {
    hideMessage();
    showFailure(TestEmailFailure, error);
  }
}

async function loadSlots() {
  try {
    slots = await request('GET', '/ws/config/slots');
  } catch (error) {
    showFailure('The settings could not be loaded', error);
    return false;
  }
  const list = document.getElementById('slotList');
  list.replaceChildren();
  for (const slot of slots) {
    const item = element('a', 'list-group-item list-group-item-action', `${slot.ID + 1}: ${slot.Name}`);
    item.href = '#slot-' + slot.ID;
    item.dataset.slot = String(slot.ID);
    if (slot.AlarmOnly)
      item.append(element('span', 'badge badge-secondary ml-2', 'Alarm only'));
    list.append(item);
  }
  return true;
}

async function showFromHash() {
  const match = /^#slot-(\d+)$/.exec(location.hash);
  if (location.hash === '#program')
    await showProgram();
  else if (match && slots.some((s) => s.ID === Number(match[1])))
    await showSlot(Number(match[1]));
  else if (slots.length)
    await showSlot(slots[0].ID);
}

async function start() {
  if (!(await loadSlots()))
    return;
  try {
    const access = await request('GET', '/ws/access');
    if (access.Locked) {
      locked = access.Locked;
      lockedReason = access.LockedReason;
    }
  } catch (error) {
    showFailure('The locked settings could not be loaded', error);
  }
  try {
    devices = await request('GET', '/ws/config/devices');
  } catch (error) {
    showFailure('The sound cards could not be loaded', error);
  }
  try {
    SlotGroups = groupsFromSchema(await request('GET', '/ws/config/schema'));
  } catch (error) {
    showFailure('The settings could not be described', error);
    return;
  }
  document.getElementById('slotForm').addEventListener('submit', saveSlot);
  document.getElementById('programForm').addEventListener('submit', saveProgram);
  document.getElementById('testEmail').addEventListener('click', sendTestEmail);
  window.addEventListener('hashchange', showFromHash);
  await showFromHash();
  document.body.dataset.ready = 'true';
}

start();
