// The live monitor in Chromium against the real program and a private PulseAudio server: a card per slot from the
// event stream, meters that follow a tone switched on and off, START and STOP for the administrator only, names as
// text, and the page noticing a lost connection and coming back by itself when the program is back.

import assert from 'node:assert/strict';
import {spawn} from 'node:child_process';
import fs from 'node:fs';
import path from 'node:path';
import {after, before, test} from 'node:test';
import {launchChromium, makeRoot, newPage, screenshotPath, startPulse, startTapevault, Users,
        writeToneWav} from './TapevaultFixture.mjs';

const EvilName = '<img src=x onerror=alert(1)>';
let service;
let browser;
let pulse;
let toneFile;

before(async () => {
  const root = makeRoot();
  pulse = await startPulse(fs.mkdtempSync(root + '-pulse'), ['desk']);
  toneFile = path.join(root, 'tone.wav');
  writeToneWav(toneFile, 60, 1000, 44100);
  // The second slot records a stream input (silence while it has none) into WAV files once switched on.
  service = await startTapevault(root, [`Name=${EvilName}\nSource=None\nFolder=${path.join(root, 'evil')}`,
                                        `Name=Control\nSource=Stream\nStreamURL=\nFormat=wav16\nEnabled=off\n` +
                                            `Folder=${path.join(root, 'control')}`,
                                        `Name=Desk\nSource=Soundcard\nDevice=PULSE:desk.monitor\nFormat=wav16\n` +
                                            `Folder=${path.join(root, 'desk')}`],
                                 {PULSE_SERVER: pulse.server});
  browser = await launchChromium();
});

after(async () => {
  await browser?.close();
  if (service)
    assert.equal(await service.stop(), 0, service.output());
  pulse?.daemon.kill();
});

async function openMonitor(iUser) {
  const session = await newPage(browser, iUser);
  await session.page.goto(service.base + '/monitor.html');
  await session.page.locator('.slot-card[data-slot="1"]').waitFor();
  return session;
}

const card = (page, iSlot) => page.locator(`.slot-card[data-slot="${iSlot}"]`);

test('cards follow the slots; the administrator starts and stops one; names are text', async () => {
  const {context, page, problems} = await openMonitor(Users.admin);
  assert.equal(await card(page, 0).locator('.slot-name').textContent(), EvilName);
  assert.equal(await page.locator('#slots img').count(), 0);
  assert.equal(await card(page, 0).getAttribute('data-lamp'), 'disabled');
  // A stream input without an address delivers nothing: red, as in the window.
  assert.equal(await card(page, 1).getAttribute('data-lamp'), 'error');
  await card(page, 1).locator('button[data-action="START"]').waitFor({state: 'visible'});

  await card(page, 1).locator('button[data-action="START"]').click();
  await card(page, 1).locator('.slot-times').filter({hasText: /^Recording 00:00:0\d, silence /}).waitFor({timeout: 15000});
  assert.match(await card(page, 1).locator('.slot-file').textContent(), /\.wav$/);
  // The running time moves on without a reload.
  await card(page, 1).locator('.slot-times').filter({hasText: /^Recording 00:00:0[3-9]/}).waitFor({timeout: 15000});
  assert.match(await card(page, 1).locator('.slot-space').textContent(), /^Free space: \d/);
  await page.screenshot({path: screenshotPath('monitor.png'), fullPage: true});

  await card(page, 1).locator('button[data-action="STOP"]').click();
  await card(page, 1).locator('.slot-file').filter({hasText: 'Encoder stopped'}).waitFor({timeout: 15000});
  assert.deepEqual(problems, []);
  await context.close();
});

test('the meters follow a tone switched on and off', async () => {
  const {context, page, problems} = await openMonitor(Users.viewer);
  // aria-valuenow: the meter's position in percent.
  const meterAbove = (iSide, iPercent) => page.waitForFunction(
      ([side, percent]) => Number(document.querySelector(`.slot-card[data-slot="2"] .meter[aria-label="${side}"]`)
                                      ?.getAttribute('aria-valuenow')) > percent,
      [iSide, iPercent], {timeout: 15000});
  const meterBelow = (iSide, iPercent) => page.waitForFunction(
      ([side, percent]) => Number(document.querySelector(`.slot-card[data-slot="2"] .meter[aria-label="${side}"]`)
                                      ?.getAttribute('aria-valuenow')) < percent,
      [iSide, iPercent], {timeout: 15000});
  await meterBelow('Left level', 5);
  const tone = spawn('paplay', ['-d', 'desk', toneFile], {env: {...process.env, PULSE_SERVER: pulse.server}, stdio: 'ignore'});
  try {
    await meterAbove('Left level', 60);
    await meterAbove('Right level', 60);
  } finally {
    tone.kill();
  }
  await meterBelow('Left level', 5);
  await meterBelow('Right level', 5);
  assert.deepEqual(problems, []);
  await context.close();
});

test('the read-only user sees the cards without buttons', async () => {
  const {context, page, problems} = await openMonitor(Users.viewer);
  await page.waitForFunction(() => document.querySelectorAll('.admin-only').length === 3);
  assert.equal(await page.locator('.slot-card button:visible').count(), 0);
  assert.deepEqual(problems, []);
  await context.close();
});

test('a lost connection is shown and the page comes back by itself', async () => {
  const {context, page} = await openMonitor(Users.viewer);
  const restarted = service.restart();
  await page.locator('#connection').waitFor({state: 'visible', timeout: 15000});
  const {code, service: again} = await restarted;
  assert.equal(code, 0);
  service = again;
  await page.locator('#connection').waitFor({state: 'hidden', timeout: 20000});
  await card(page, 1).waitFor();
  await context.close();
});
