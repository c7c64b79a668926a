// The settings page in Chromium against the real program and a private PulseAudio server: an administrator points
// slot 2 at another input and another format, and the slot records from it; a refused change shows the server's
// message at its field; only administrators see the link from the calendar, and a read-only user who opens the
// page sees why it stays empty.

import assert from 'node:assert/strict';
import {spawn} from 'node:child_process';
import fs from 'node:fs';
import path from 'node:path';
import {after, before, test} from 'node:test';
import {launchChromium, makeRoot, newPage, screenshotPath, startPulse, startTapevault, Users, waitFor,
        writeToneWav} from './TapevaultFixture.mjs';

let pulse;
let tone;
let service;
let browser;
let booth; // slot 2's folder

// The largest sample magnitude of a 16-bit WAV file's data from iFrom seconds before its end.
function peakOfEnd(iFile, iSeconds) {
  const data = fs.readFileSync(iFile);
  const bytes = Math.round(iSeconds * 44100) * 4;
  let peak = 0;
  for (let i = Math.max(44, data.length - bytes); i + 1 < data.length; i += 2)
    peak = Math.max(peak, Math.abs(data.readInt16LE(i)));
  return peak;
}

function filesBelow(iFolder, iExtension) {
  if (!fs.existsSync(iFolder))
    return [];
  return fs.readdirSync(iFolder, {recursive: true}).filter((f) => f.endsWith(iExtension)).map((f) => path.join(iFolder, f));
}

before(async () => {
  const root = makeRoot();
  // "loud" plays a tone, "quiet" nothing.
  pulse = await startPulse(fs.mkdtempSync(root + '-pulse'), ['quiet', 'loud']);
  const toneFile = path.join(root, 'tone.wav');
  writeToneWav(toneFile, 120, 880, 44100);
  tone = spawn('paplay', ['-d', 'loud', toneFile], {env: {...process.env, PULSE_SERVER: pulse.server}, stdio: 'ignore'});
  booth = path.join(root, 'booth');
  service = await startTapevault(root, [`Name=Studio\nSource=None\nFolder=${path.join(root, 'studio')}`,
                                        `Name=Booth\nSource=Soundcard\nDevice=PULSE:quiet.monitor\nFormat=mp3\n` +
                                            `TimeSlotAlign=off\nFolder=${booth}`],
                                 {PULSE_SERVER: pulse.server});
  browser = await launchChromium();
});

after(async () => {
  await browser?.close();
  tone?.kill();
  if (service)
    assert.equal(await service.stop(), 0, service.output());
  pulse?.daemon.kill();
});

async function openSettings(iHash) {
  const session = await newPage(browser, Users.admin);
  await session.page.goto(service.base + '/settings.html' + iHash);
  await session.page.waitForSelector('body[data-ready="true"]');
  return session;
}

test('an administrator changes slot 2 to another input and format, and it records from there', async () => {
  const {page, problems, context} = await openSettings('#slot-1');
  assert.match(await page.textContent('#slotTitle'), /^Slot 2: Booth$/);
  assert.equal(await page.inputValue('#field-Device'), 'PULSE:quiet.monitor');
  assert.equal(await page.inputValue('#field-Format'), 'mp3');

  await page.selectOption('#field-Device', 'PULSE:loud.monitor');
  await page.selectOption('#field-Format', 'wav16');
  assert.equal(await page.inputValue('#field-Bitrate'), '0');
  await page.click('#saveSlot');
  await page.waitForSelector('#pageMessage.alert-success');
  assert.match(await page.textContent('#pageMessage'), /Saved: Device, Format, Bitrate\./);
  await page.screenshot({path: screenshotPath('settings-slot.png'), fullPage: true});

  assert.ok(await waitFor(() => service.output().includes(
                              'Slot 2 settings changed from the web by admin: Device, Format, Bitrate'), 5000),
            service.output());
  // The new file is a WAV file that fills with the loud input's tone.
  assert.ok(await waitFor(() => filesBelow(booth, '.wav').length === 1 &&
                                    fs.statSync(filesBelow(booth, '.wav')[0]).size > 44 + 3 * 44100 * 4,
                          20000),
            service.output());
  assert.ok(peakOfEnd(filesBelow(booth, '.wav')[0], 1) > 5000, 'the new file holds no tone');
  assert.deepEqual(problems, []);
  await context.close();
});

test('the slot form is built from the key table the server describes', async () => {
  const {page, problems, context} = await openSettings('#slot-0');
  const schema = await (await page.request.get(service.base + '/ws/config/schema')).json();
  const shown = await page.$$eval('#slotGroups .form-group[data-key]', (groups) => groups.map((g) => g.dataset.key));
  assert.deepEqual(shown.toSorted(), schema.Keys.map((row) => row.Key).toSorted());
  for (const row of schema.Keys) {
    const field = page.locator('#field-' + row.Key);
    if (row.Min !== undefined) {
      assert.equal(await field.getAttribute('min'), String(row.Min), row.Key);
      assert.equal(await field.getAttribute('max'), String(row.Max), row.Key);
    }
    if (row.Choices && row.Page.Role !== 'source') {
      // Formats that run code are marked as locked here.
      const options = await field.locator('option').evaluateAll((list) => list.map((o) => [o.value, o.textContent]));
      assert.deepEqual(options.map(([value]) => value), row.Choices, row.Key);
      options.forEach(([, caption], i) => assert.ok(caption.startsWith(row.Page.Captions[i]), caption));
    }
    if (row.WriteOnly)
      assert.equal(await field.getAttribute('type'), 'password', row.Key);
  }
  // The format rules of the table: the file extension only for custom formats, no bit rate for the others.
  const format = schema.Keys.find((row) => row.Page.Role === 'format');
  const extension = schema.Keys.find((row) => row.Page.Role === 'file-extension');
  const bitrate = schema.Keys.find((row) => row.Page.Role === 'bitrate');
  assert.ok(!format.Page.Custom.includes(await page.inputValue('#field-' + format.Key)));
  assert.ok(await page.locator(`.form-group[data-key="${extension.Key}"]`).isHidden());
  await page.selectOption('#field-' + format.Key, format.Page.NoBitrate[0]);
  assert.equal(await page.inputValue('#field-' + bitrate.Key), '0');
  assert.deepEqual(problems, []);
  await context.close();
});

test('a refused change shows the message at its field and changes nothing', async () => {
  const {page, problems, context} = await openSettings('#slot-1');
  await page.fill('#field-Folder', '');
  await page.fill('#field-Name', 'Renamed');
  await page.click('#saveSlot');
  await page.waitForSelector('#field-Folder.is-invalid');
  const feedback = page.locator('.form-group[data-key="Folder"] .invalid-feedback');
  assert.ok(await feedback.isVisible());
  assert.equal(await feedback.textContent(), 'Output folder must not be empty.');
  assert.ok(await page.locator('#pageMessage.alert-danger').isVisible());
  await page.screenshot({path: screenshotPath('settings-refused.png'), fullPage: true});
  // The only failed request is the refused change itself.
  assert.deepEqual(problems.filter((p) => !p.startsWith('HTTP 400') && !p.includes('status of 400 (Bad Request)')), []);
  await page.reload();
  await page.waitForSelector('body[data-ready="true"]');
  assert.equal(await page.inputValue('#field-Name'), 'Booth');
  assert.equal(await page.inputValue('#field-Folder'), booth);
  await context.close();
});

test('the calendar links to the settings for administrators only', async () => {
  for (const [user, visible] of [[Users.admin, true], [Users.viewer, false]]) {
    const {page, problems, context} = await newPage(browser, user);
    await page.goto(service.base + '/index.html');
    await page.waitForSelector('#calendar .fc-view');
    if (visible)
      await page.waitForSelector('#settingsLink', {state: 'visible'});
    else
      await page.waitForTimeout(500);
    assert.equal(await page.locator('#settingsLink').isVisible(), visible, user[0]);
    assert.deepEqual(problems, []);
    await context.close();
  }
});

test('a read-only user sees why the settings are not shown', async () => {
  const {page, problems, context} = await newPage(browser, Users.viewer);
  await page.goto(service.base + '/settings.html');
  const failure = page.locator('#requestFailure');
  await failure.waitFor({state: 'visible'});
  assert.equal(await failure.textContent(),
               'The settings could not be loaded (HTTP 403: This needs the administrator level.)');
  assert.equal(await page.locator('#slotList a').count(), 0);
  await page.screenshot({path: screenshotPath('settings-refused-user.png')});
  assert.deepEqual(problems.filter((problem) => !/\b403\b/.test(problem)), []);
  await context.close();
});
