// Logging in from a browser on the configuration a first run seeds (anonymous read-only access, an administrator
// with a random password): "Log in" makes Chromium ask for the password, the pages then show the user and the
// settings; settings that run code are read-only there; other sites' pages cannot switch slots; no page breaks
// its own Content-Security-Policy.

import assert from 'node:assert/strict';
import http from 'node:http';
import {after, before, test} from 'node:test';
import {launchChromium, makeRoot, screenshotPath, startSeeded, waitFor} from './TapevaultFixture.mjs';

let service;
let browser;
let context;
let page;
const problems = [];

before(async () => {
  service = await startSeeded(makeRoot());
  browser = await launchChromium();
  // Chromium answers a challenge with these, as a person would in its password dialog; it never sends them
  // unasked.
  context = await browser.newContext({httpCredentials: {username: 'admin', password: service.adminPassword}});
  page = await context.newPage();
  page.on('console', (message) => {
    if (message.type() === 'error')
      problems.push('console: ' + message.text());
  });
  page.on('pageerror', (error) => problems.push('page error: ' + error.message));
});

after(async () => {
  await browser?.close();
  if (service)
    assert.equal(await service.stop(), 0, service.output());
});

test('an anonymous visitor logs in from the page and reaches the settings', async () => {
  await page.goto(service.base + '/index.html');
  await page.locator('#loginUser', {hasText: 'Not logged in'}).waitFor();
  assert.equal(await page.locator('#settingsLink').isVisible(), false);

  await page.click('#loginLink');
  await page.waitForURL(service.base + '/index.html');
  await page.locator('#loginUser', {hasText: 'Logged in as admin'}).waitFor();
  await page.locator('#settingsLink').waitFor({state: 'visible'});

  await page.click('#settingsLink');
  await page.waitForFunction(() => document.body.dataset.ready === 'true');
  await page.locator('#loginUser', {hasText: 'Logged in as admin'}).waitFor();
  await page.screenshot({path: screenshotPath('login-settings.png'), fullPage: true});
  assert.deepEqual(problems, []);
});

test('settings that run code are shown read-only with the reason and refused by the server', async () => {
  for (const key of ['EncoderOptions', 'EncoderFilename']) {
    const field = page.locator('#field-' + key);
    assert.equal(await field.evaluate((control) => control.readOnly), true, key);
    const reason = await field.locator('xpath=../..').textContent();
    assert.match(reason, /AllowProgramSettings=on/, key);
  }
  const disabled = await page.locator('#field-Format option:disabled').evaluateAll((options) => options.map((o) => o.value));
  assert.deepEqual(disabled, ['customwav', 'customraw']);

  const answer = await page.evaluate(async () => {
    const response = await fetch('/ws/config/slots/0', {method: 'POST', headers: {'Content-Type': 'application/json'},
                                                        body: JSON.stringify({EncoderOptions: 'sh -c id'})});
    return {status: response.status, body: await response.json()};
  });
  assert.equal(answer.status, 403);
  assert.equal(answer.body.Errors[0].Key, 'EncoderOptions');
  // Chromium reports the refusal it was asked for in the console.
  assert.deepEqual(problems.splice(0), ['console: Failed to load resource: the server responded with a status of 403 (Forbidden)']);
});

test('the status page works under its policy and a press is logged with the user', async () => {
  await page.goto(service.base + '/status.html');
  await page.locator('#start-0').click();
  assert.ok(await waitFor(() => service.output().includes('Slot 1 START from the web by admin'), 10000),
            service.output());
  assert.deepEqual(problems, []);
});

test('another site cannot switch slots through the logged-in browser', async () => {
  // A page of another origin with a form that sends itself and an image that names the command.
  const evil = http.createServer((request, response) => {
    response.setHeader('Content-Type', 'text/html');
    response.end(`<form id="f" method="POST" action="${service.base}/execute">
                    <input name="command" value="SLOT 2 START"></form>
                  <img id="i" src="${service.base}/ws/execute?command=SLOT+2+STOP">
                  <script>i.onload = i.onerror = () => f.submit();</script>`);
  });
  await new Promise((resolve) => evil.listen(0, '127.0.0.1', resolve));
  try {
    const sent = [];
    const answers = [];
    const other = await context.newPage();
    other.on('request', (request) => {
      if (request.url().startsWith(service.base))
        sent.push(request.method());
    });
    // Chromium keeps a refused image's answer to itself; the form's is seen.
    other.on('response', (response) => {
      if (response.url().startsWith(service.base))
        answers.push(response.status());
    });
    await other.goto(`http://127.0.0.1:${evil.address().port}/`);
    await other.waitForURL(service.base + '/execute');
    assert.ok(await waitFor(() => answers.length >= 1), JSON.stringify(answers));
    assert.deepEqual(sent.sort(), ['GET', 'POST']);
    assert.deepEqual([...new Set(answers)], [403]);
    await other.close();
  } finally {
    evil.close();
  }
  assert.doesNotMatch(service.output(), /Slot 2 (START|STOP) from the web/);
});

test('pages load without breaking their own policy', async () => {
  for (const name of ['/index.html', '/status.html', '/settings.html#program'])
    await page.goto(service.base + name, {waitUntil: 'networkidle'});
  assert.deepEqual(problems.filter((problem) => /Content Security Policy|Refused to/.test(problem)), []);
  assert.deepEqual(problems, []);
});
