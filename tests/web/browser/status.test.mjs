// The control page in Chromium against the real program: START and STOP as the administrator change the slot
// and its colours within a refresh; the read-only user sees the states without buttons; slot names stay text.

import assert from 'node:assert/strict';
import path from 'node:path';
import {after, before, test} from 'node:test';
import {launchChromium, makeRoot, newPage, screenshotPath, startTapevault, Users} from './TapevaultFixture.mjs';

const EvilName = '<img src=x onerror=alert(1)>';
const Green = 'rgb(0, 255, 51)';
const Red = 'rgb(255, 0, 0)';
let service;
let browser;

before(async () => {
  const root = makeRoot();
  // The second slot records a stream input (silence while it has none) into WAV files once switched on.
  service = await startTapevault(root, [`Name=${EvilName}\nSource=None\nFolder=${path.join(root, 'evil')}`,
                                        `Name=Control\nSource=Stream\nStreamURL=\nFormat=wav16\nEnabled=off\n` +
                                            `Folder=${path.join(root, 'control')}`]);
  browser = await launchChromium();
});

after(async () => {
  await browser?.close();
  if (service)
    assert.equal(await service.stop(), 0, service.output());
});

async function openStatus(iUser) {
  const session = await newPage(browser, iUser);
  await session.page.goto(service.base + '/status.html');
  await session.page.locator(iUser === Users.admin ? '#stop-1.stopped' : '#state-1.stopped').waitFor();
  return session;
}

const background = (page, iId) =>
    page.locator('#' + iId).evaluate((element) => getComputedStyle(element).backgroundColor);

// The slot's state and colours must reach iRecording within one refresh after a press (500 ms), whatever the
// load of the machine: waited for generously, then checked exactly.
async function expectState(page, iRecording) {
  await page.waitForFunction((recording) => document.getElementById('start-1').classList.contains('started') ===
                                                recording &&
                                            document.getElementById('stop-1').classList.contains('stopped') ===
                                                !recording,
                             iRecording, {timeout: 15000});
  if (iRecording)
    assert.equal(await background(page, 'start-1'), Green);
  else
    assert.equal(await background(page, 'stop-1'), Red);
  const slots = await page.evaluate(() => fetch('/ws/slots').then((r) => r.json()));
  assert.equal(slots[1].Recording, iRecording);
}

test('the administrator starts and stops a slot; names are text', async () => {
  const {context, page, problems} = await openStatus(Users.admin);
  assert.equal(await page.textContent('#slot-name-0'), EvilName);
  assert.equal(await page.textContent('#slot-name-1'), 'Control');
  assert.equal(await page.locator('#list img').count(), 0);
  assert.deepEqual(await page.locator('#slot-0 button').allTextContents(), ['START', 'STOP']);
  await expectState(page, false);

  const posted = page.waitForRequest((request) => request.url().endsWith('/execute') && request.method() === 'POST');
  await page.click('#start-1');
  assert.equal((await posted).postData(), 'command=SLOT+2+START');
  await expectState(page, true);
  await page.screenshot({path: screenshotPath('status.png')});
  await page.click('#stop-1');
  await expectState(page, false);
  assert.deepEqual(problems, []);
  await context.close();
});

test('the read-only user sees the states without buttons, and a command of theirs changes nothing', async () => {
  const {context, page, problems} = await openStatus(Users.viewer);
  assert.equal(await page.locator('#list button').count(), 0);
  assert.equal(await page.textContent('#state-1'), 'stopped');
  assert.equal(await page.textContent('#slot-name-0'), EvilName);
  await page.evaluate(() => fetch('/execute', {method: 'POST', body: new URLSearchParams({command: 'SLOT 2 START'})}));
  await page.waitForTimeout(1500);
  const slots = await page.evaluate(() => fetch('/ws/slots').then((r) => r.json()));
  assert.equal(slots[1].Recording, false);
  assert.deepEqual(problems, []);
  await context.close();
});
