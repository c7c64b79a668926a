// Every page checked by axe-core (pinned in package-lock.json) in Chromium against the real program, as the
// administrator and as the read-only user, on a desktop and on a phone: no critical or serious violation.

import assert from 'node:assert/strict';
import {createRequire} from 'node:module';
import path from 'node:path';
import {after, before, test} from 'node:test';
import {launchChromium, makeRoot, newPage, startTapevault, Users, writeSlotDatabase} from './TapevaultFixture.mjs';

// The pages allow only their own scripts; the test context lets axe in.
const AxeScript = createRequire(import.meta.url).resolve('axe-core/axe.min.js');
// Each page with what brings it to its full state: its data shown (and on the settings page a slot's form open).
const Pages = {
  '/index.html': (page) => page.locator('#calendar .fc-view').waitFor(),
  '/status.html': (page) => page.locator('#stop-1, #state-1').first().waitFor(),
  '/monitor.html': (page) => page.locator('.slot-card[data-slot="1"]').waitFor(),
  '/settings.html': async (page) => {
    await page.locator('#slotList .list-group-item').first().click();
    await page.locator('#slotForm').waitFor({state: 'visible'});
  },
};
const Widths = [1280, 390];
let service;
let browser;

before(async () => {
  const root = makeRoot();
  const studio = path.join(root, 'studio');
  writeSlotDatabase(studio, [{start: '2024-04-01 10:00:00.000', duration: 1800, file: '2024/04/01/a.wav',
                              dropouts: [0.4, 3]}]);
  service = await startTapevault(root, [`Name=Studio\nSource=None\nFolder=${studio}`,
                                        `Name=Control\nSource=Stream\nStreamURL=\nFormat=wav16\nEnabled=off\n` +
                                            `Folder=${path.join(root, 'control')}`]);
  browser = await launchChromium();
});

after(async () => {
  await browser?.close();
  if (service)
    assert.equal(await service.stop(), 0, service.output());
});

for (const [user, credentials] of [['administrator', Users.admin], ['read-only user', Users.viewer]])
  for (const width of Widths)
    test(`every page as the ${user} at ${width} px`, async () => {
      const {context, page} = await newPage(browser, credentials, {viewport: {width, height: 844}, bypassCSP: true});
      const found = [];
      for (const [address, prepare] of Object.entries(Pages)) {
        if (address === '/settings.html' && credentials === Users.viewer)
          continue; // the settings are the administrator's
        await page.goto(service.base + address);
        await prepare(page);
        await page.addScriptTag({path: AxeScript});
        const result = await page.evaluate(() => window.axe.run(document, {resultTypes: ['violations']}));
        for (const violation of result.violations)
          if (violation.impact === 'critical' || violation.impact === 'serious')
            found.push(`${address}: ${violation.id} (${violation.impact}) at ` +
                       violation.nodes.slice(0, 3).map((node) => node.target.join(' ')).join(', '));
      }
      assert.deepEqual(found, []);
      await context.close();
    });
