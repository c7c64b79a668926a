// Time to the first view of the calendar page in headless Chromium: each run is a new browser context (an empty
// cache), against the Release program with one slot. Prints every run and the median.
//   TAPEVAULT_PROGRAM=build/release/src/ui/tapevault node bench/first_view.mjs [runs, default 15]
import path from 'node:path';
import {launchChromium, makeRoot, newPage, noteCalendarShown, startTapevault, Users, writeSlotDatabase}
  from '../tests/web/browser/TapevaultFixture.mjs';

const runs = Number(process.argv[2] || 15);
const root = makeRoot();
const studio = path.join(root, 'studio');
writeSlotDatabase(studio, [{start: '2024-03-31 01:00:00.000', duration: 3600, file: '2024/03/31/a.wav'}]);
const service = await startTapevault(root, [`Name=Studio A\nSource=None\nFolder=${studio}`]);
const browser = await launchChromium();
const times = [];
try {
  for (let run = 0; run < runs; ++run) {
    const {context, page} = await newPage(browser, Users.viewer);
    await noteCalendarShown(page);
    await page.goto(service.base + '/index.html');
    times.push(Math.round(await (await page.waitForFunction(() => window.calendarShownAfterMs)).jsonValue()));
    await context.close();
  }
} finally {
  await browser.close();
  await service.stop();
}
const sorted = [...times].sort((a, b) => a - b);
console.log(`first view, ms: ${times.join(' ')}`);
console.log(`median ${sorted[Math.floor(runs / 2)]} ms, fastest ${sorted[0]} ms, slowest ${sorted[runs - 1]} ms`);
