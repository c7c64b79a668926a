// The calendar page in Chromium against the real program: slot selector, week view across the start of daylight
// saving time, the player dialog (waveform, byte ranges, play and pause, download), escaped slot names and the
// message of a slot whose recordings cannot be read.

import assert from 'node:assert/strict';
import fs from 'node:fs';
import path from 'node:path';
import {after, before, test} from 'node:test';
import {launchChromium, makeRoot, newPage, noteCalendarShown, screenshotPath, startTapevault, Users,
        writeSlotDatabase, writeToneWav} from './TapevaultFixture.mjs';

const EvilName = '<img src=x onerror=alert(1)>';
const ToneSeconds = 6;
let service;
let browser;
let studio; // the first slot's folder

before(async () => {
  const root = makeRoot();
  studio = path.join(root, 'studio');
  // In Berlin, daylight saving time starts on Sunday 2024-03-31 at 02:00: that day's 01:00 is 00:00 UTC and its
  // 10:00 is 08:00 UTC; each must show at its own local hour. The row without a duration was abandoned.
  writeSlotDatabase(studio, [
    {start: '2024-03-31 01:00:00.000', duration: 3600, file: '2024/03/31/2024-03-31-01-00-00.wav'},
    {start: '2024-03-31 10:00:00.000', duration: ToneSeconds, file: '2024/03/31/tone.wav', dropouts: [0.5, 2],
     marks: '1.50+0.25,4.00+0.25'},
    {start: '2024-04-01 10:00:00.000', duration: 1800, file: '2024/04/01/2024-04-01-10-00-00.wav',
     dropouts: [0.4, 3]},
    {start: '2024-04-02 12:00:00.000', duration: null, file: '2024/04/02/abandoned.wav'},
  ]);
  writeToneWav(path.join(studio, '2024/03/31/tone.wav'), ToneSeconds);
  const evil = path.join(root, 'evil');
  writeSlotDatabase(evil, [{start: '2024-03-28 15:00:00.000', duration: 1800, file: '2024/03/28/<b>x</b>.wav'}]);
  // A folder in place of the third slot's database: no query can read it.
  const broken = path.join(root, 'broken');
  fs.mkdirSync(path.join(broken, 'Tapevault.db'), {recursive: true});
  service = await startTapevault(root, [`Name=Studio A\nSource=None\nFolder=${studio}`,
                                        `Name=${EvilName}\nSource=None\nFolder=${evil}`,
                                        `Name=Broken\nSource=None\nFolder=${broken}`]);
  browser = await launchChromium();
});

after(async () => {
  await browser?.close();
  if (service)
    assert.equal(await service.stop(), 0, service.output());
});

// The week of the change is the browser's "today" week: its clock is set to Tuesday 2024-04-02.
async function openCalendar(iUser = Users.admin) {
  const session = await newPage(browser, iUser);
  await session.context.clock.setFixedTime(new Date('2024-04-02T12:00:00+02:00'));
  await session.page.goto(service.base + '/index.html');
  await session.page.waitForSelector('#calendar .fc-view');
  return session;
}

async function showWeek(page, iCount) {
  await page.click('.fc-timeGridWeek-button');
  await page.locator('.fc-time-grid-event').nth(iCount - 1).waitFor();
}

// Where each event of the week view stands: the day of its column and the hour row its top edge meets.
async function eventPlaces(page) {
  return page.evaluate(() => {
    const days = [...document.querySelectorAll('th.fc-day-header[data-date]')].map((th) => {
      const box = th.getBoundingClientRect();
      return {date: th.dataset.date, left: box.left, right: box.right};
    });
    const rows = [...document.querySelectorAll('.fc-slats tr[data-time]')].map((tr) => ({
      time: tr.dataset.time,
      top: tr.getBoundingClientRect().top,
    }));
    return [...document.querySelectorAll('.fc-time-grid-event')].map((element) => {
      const box = element.getBoundingClientRect();
      const middle = (box.left + box.right) / 2;
      const row = rows.find((r) => Math.abs(r.top - box.top) < 2);
      return {
        title: element.querySelector('.fc-title')?.textContent,
        date: days.find((d) => middle >= d.left && middle <= d.right)?.date,
        time: row?.time,
      };
    }).sort((a, b) => (a.date + a.time).localeCompare(b.date + b.time));
  });
}

test('slot selector, week view across the change to daylight saving time, slot change', async () => {
  const {context, page, problems} = await openCalendar();
  const options = await page.locator('#slotselector option').evaluateAll(
      (list) => list.map((o) => ({value: o.value, text: o.textContent})));
  assert.deepEqual(options, [{value: '0', text: 'Studio A'}, {value: '1', text: EvilName}, {value: '2', text: 'Broken'}]);

  await showWeek(page, 3);
  assert.deepEqual(await eventPlaces(page), [
    {title: 'Studio A', date: '2024-03-31', time: '01:00:00'},
    {title: 'Studio A (2 dropouts, 0.5 s)', date: '2024-03-31', time: '10:00:00'},
    {title: 'Studio A (3 dropouts, 0.4 s)', date: '2024-04-01', time: '10:00:00'},
  ]); // the abandoned row of Tuesday is absent
  await page.screenshot({path: screenshotPath('calendar-week.png'), fullPage: true});

  // Only the recordings with dropouts are marked, by colour and a title text, in the week and the list view.
  const marks = async (iSelector) => page.locator(iSelector).evaluateAll((list) => list.map((element) => ({
    title: element.getAttribute('title'),
    marked: element.classList.contains('recording-dropouts'),
  })));
  const marked = [{title: '3 dropouts, 0.4 s', marked: true}];
  assert.deepEqual((await marks('.fc-time-grid-event')).filter((mark) => mark.marked || mark.title),
                   [{title: '2 dropouts, 0.5 s', marked: true}, ...marked]);
  // The list shows a day: Monday's recording is the one with dropouts.
  await page.click('.fc-list-button');
  await page.click('.fc-prev-button');
  await page.locator('.fc-list-item').first().waitFor();
  assert.deepEqual(await marks('.fc-list-item'), marked);
  await page.click('.fc-timeGridWeek-button');

  // The other slot has one recording, in the week before.
  await page.selectOption('#slotselector', '1');
  await page.waitForFunction(() => document.querySelectorAll('.fc-time-grid-event').length === 0);
  await page.click('.fc-prev-button');
  await page.waitForFunction(() => document.querySelectorAll('.fc-time-grid-event').length === 1);
  assert.deepEqual(await eventPlaces(page), [{title: EvilName, date: '2024-03-28', time: '15:00:00'}]);
  assert.equal(await page.locator('#calendar img, #slotselector img').count(), 0);
  assert.deepEqual(problems, []);
  await context.close();
});

test('player: LLLL title, waveform, byte ranges, play and pause, download, closing ends playback', async () => {
  const {context, page, problems} = await openCalendar();
  // Every media element the page plays, so the test can see that closing the dialog stops it.
  await page.addInitScript(() => {
    window.mediaElements = new Set();
    const play = HTMLMediaElement.prototype.play;
    HTMLMediaElement.prototype.play = function () {
      window.mediaElements.add(this);
      return play.call(this);
    };
  });
  await page.reload();
  await page.waitForSelector('#calendar .fc-view');
  const fileRequests = [];
  page.on('request', async (request) => {
    if (request.url().includes('/getfile/'))
      fileRequests.push({range: (await request.allHeaders()).range, response: request.response()});
  });

  await showWeek(page, 3);
  await page.locator('.fc-time-grid-event').nth(1).click(); // Sunday 10:00, the tone
  await page.locator('#playerModal').waitFor({state: 'visible'});
  assert.equal(await page.textContent('#playerTitle'), 'Sunday, March 31, 2024 10:00 AM');
  const url = '/ws/slot/0/getfile/2/tone.wav';
  assert.equal(await page.getAttribute('#playerDownloadButton', 'href'), url);

  await page.waitForFunction(() => !document.getElementById('playButton').disabled);
  assert.ok(await page.isHidden('#playerLoading'));
  assert.ok(await page.isDisabled('#pauseButton'));
  assert.equal(await page.textContent('#playerPosition'), '');
  await page.locator('#playerWaveform canvas').first().waitFor(); // the waveform is drawn
  assert.match(await page.locator('#playerWaveformTimeline').innerText(), /10:00 AM/);
  // The dropouts' places on the time line: 1.5 s and 4 s into the 6-s file, each 0.25 s long.
  const dropoutMarks = await page.locator('#playerDropoutMarks .dropout-mark').evaluateAll((list) => list.map(
      (mark) => ({left: mark.style.left, width: mark.style.width, label: mark.getAttribute('aria-label')})));
  assert.deepEqual(dropoutMarks, [
    {left: '25%', width: 'max(2px, 4.16667%)', label: 'Dropout at 10:00:01 AM, 0.3 s'},
    {left: '66.6667%', width: 'max(2px, 4.16667%)', label: 'Dropout at 10:00:04 AM, 0.3 s'},
  ]);

  await page.click('#playButton');
  await page.waitForFunction(() => document.getElementById('playButton').disabled &&
                                   !document.getElementById('pauseButton').disabled);
  await page.waitForFunction(() => /^10:00:0[1-5] AM$/.test(document.getElementById('playerPosition').textContent),
                             null, {timeout: 10000});
  await page.screenshot({path: screenshotPath('calendar-player.png')});
  await page.click('#pauseButton');
  await page.waitForFunction(() => !document.getElementById('playButton').disabled &&
                                   document.getElementById('pauseButton').disabled);
  const paused = await page.textContent('#playerPosition');
  await page.waitForTimeout(1200);
  assert.equal(await page.textContent('#playerPosition'), paused, 'the position stands still while paused');

  // The media element asks for byte ranges and gets partial answers.
  const ranged = [];
  for (const request of fileRequests)
    if (request.range)
      ranged.push((await request.response)?.status());
  assert.ok(ranged.length > 0, 'no Range request for the file');
  assert.ok(ranged.every((status) => status === 206), `statuses of range requests: ${ranged}`);

  const [download] = await Promise.all([page.waitForEvent('download'), page.click('#playerDownloadButton')]);
  assert.equal(download.suggestedFilename(), 'tone.wav');
  const saved = await download.path();
  assert.deepEqual(fs.readFileSync(saved), fs.readFileSync(path.join(studio, '2024/03/31/tone.wav')));

  await page.click('#playButton');
  await page.waitForFunction(() => [...window.mediaElements].some((media) => !media.paused));
  await page.click('#playerModal .modal-footer button[data-dismiss="modal"]');
  await page.locator('#playerModal').waitFor({state: 'hidden'});
  await page.waitForFunction(() => [...window.mediaElements].every((media) => media.paused)); // playback ended
  assert.equal(await page.locator('#playerWaveform canvas').count(), 0);
  assert.deepEqual(problems, []);
  await context.close();
});

test('a slot whose recordings cannot be read says so until another slot is chosen', async () => {
  const {context, page, problems} = await openCalendar(Users.viewer);
  await page.locator('#slotselector option[value="2"]').waitFor({state: 'attached'});
  await page.selectOption('#slotselector', '2');
  const failure = page.locator('#requestFailure');
  await failure.waitFor({state: 'visible'});
  assert.match(await failure.textContent(), /^The recordings could not be loaded \(HTTP 500: .+\)$/);
  await page.screenshot({path: screenshotPath('calendar-failure.png')});
  await page.selectOption('#slotselector', '0');
  await failure.waitFor({state: 'hidden'});
  // Nothing failed but the broken slot's request.
  assert.deepEqual(problems.filter((problem) => !/\b500\b/.test(problem)), []);
  await context.close();
});

// Not a pass mark, a measurement for people: bytes of the first view and the time until the calendar shows, then
// the same for a second visit, which the browser's cache serves (libraries) or revalidates (pages).
test('first and second view of the calendar page: bytes and time to the rendered calendar', async (t) => {
  const {context, page, problems} = await newPage(browser, Users.viewer);
  await noteCalendarShown(page);
  const view = async () => {
    const requests = [];
    const listener = (request) => requests.push(request);
    page.on('requestfinished', listener);
    await page.goto(service.base + '/index.html');
    const rendered = await page.waitForFunction(() => window.calendarShownAfterMs);
    await page.waitForLoadState('networkidle');
    page.off('requestfinished', listener);
    let bytes = 0;
    for (const request of requests) {
      const sizes = await request.sizes();
      bytes += sizes.responseHeadersSize + sizes.responseBodySize;
    }
    return {requests: requests.length, bytes, renderedAfterMs: Math.round(await rendered.jsonValue())};
  };
  const result = {first: await view(), second: await view()};
  fs.writeFileSync(screenshotPath('first-view.json'), JSON.stringify(result, null, 1) + '\n');
  for (const [name, figures] of Object.entries(result))
    t.diagnostic(`${name} view: ${figures.requests} requests, ${figures.bytes} bytes, calendar rendered after ` +
                 `${figures.renderedAfterMs} ms`);
  assert.deepEqual(problems, []);
  await context.close();
});
