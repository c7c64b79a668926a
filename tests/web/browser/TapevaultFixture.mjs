// What the browser tests share: a root folder with slot databases and WAV recordings made by the test, the real
// program started on it as a headless service on a loopback port, and Chromium with Basic credentials.

import {execFileSync, spawn} from 'node:child_process';
import {createHash} from 'node:crypto';
import fs from 'node:fs';
import net from 'node:net';
import os from 'node:os';
import path from 'node:path';
import {chromium} from 'playwright-core';

export const TimeZone = 'Europe/Berlin';
export const Users = {admin: ['admin', 'admin-secret'], viewer: ['viewer', 'viewer-secret']};

const Program = process.env.TAPEVAULT_PROGRAM;
const SourceFolder = path.resolve(path.dirname(new URL(import.meta.url).pathname), '..', '..', '..');
const Chromium = process.env.TAPEVAULT_CHROMIUM || '/usr/bin/chromium';
// Screenshots and measurements go below the build folder, so a person can look at them.
export const OutputFolder = process.env.TAPEVAULT_WEB_OUTPUT || path.join(os.tmpdir(), 'tapevault-web');

// The stored form of the web passwords: MD5 over the fixed salt and the password, upper-case hex.
function passwordHash(iPassword) {
  return createHash('md5').update('KestrelVoxMarbleFen' + iPassword, 'latin1').digest('hex').toUpperCase();
}

// A 16-bit mono WAV file of a sine tone.
export function writeToneWav(iFile, iSeconds, iFrequency = 440, iRate = 22050) {
  const frames = Math.round(iSeconds * iRate);
  const data = Buffer.alloc(frames * 2);
  for (let i = 0; i < frames; ++i)
    data.writeInt16LE(Math.round(12000 * Math.sin((2 * Math.PI * iFrequency * i) / iRate)), i * 2);
  const header = Buffer.alloc(44);
  header.write('RIFF', 0, 'ascii');
  header.writeUInt32LE(36 + data.length, 4);
  header.write('WAVEfmt ', 8, 'ascii');
  header.writeUInt32LE(16, 16);
  header.writeUInt16LE(1, 20); // PCM
  header.writeUInt16LE(1, 22); // mono
  header.writeUInt32LE(iRate, 24);
  header.writeUInt32LE(iRate * 2, 28);
  header.writeUInt16LE(2, 32);
  header.writeUInt16LE(16, 34);
  header.write('data', 36, 'ascii');
  header.writeUInt32LE(data.length, 40);
  fs.mkdirSync(path.dirname(iFile), {recursive: true});
  fs.writeFileSync(iFile, Buffer.concat([header, data]));
}

// A slot database with the program's table; iRows: {start: 'yyyy-mm-dd hh:nn:ss.zzz' local, duration or null,
// file: path relative to the slot folder}.
export function writeSlotDatabase(iFolder, iRows) {
  fs.mkdirSync(iFolder, {recursive: true});
  const quote = (text) => "'" + String(text).replaceAll("'", "''") + "'";
  const sql = ['CREATE TABLE recordings (id INTEGER PRIMARY KEY AUTOINCREMENT, starttime TIMESTAMP NOT NULL, ' +
               'duration REAL DEFAULT NULL, filename VARCHAR NOT NULL);'];
  for (const row of iRows)
    sql.push(`INSERT INTO recordings (starttime, duration, filename) VALUES (${quote(row.start)}, ` +
             `${row.duration === null ? 'NULL' : row.duration}, ${quote(row.file)});`);
  // Dropout columns as the program adds them to older tables; rows name theirs as {dropouts: [seconds, count]}
  // and their places in the file, as stored, as {marks: '<at>+<seconds>,...'}.
  if (iRows.some((row) => row.dropouts)) {
    sql.push('ALTER TABLE recordings ADD COLUMN dropouts REAL DEFAULT 0;',
             'ALTER TABLE recordings ADD COLUMN dropoutcount INTEGER DEFAULT 0;',
             'ALTER TABLE recordings ADD COLUMN dropoutmarks TEXT DEFAULT NULL;');
    iRows.forEach((row, index) => {
      if (row.dropouts)
        sql.push(`UPDATE recordings SET dropouts=${row.dropouts[0]}, dropoutcount=${row.dropouts[1]}, ` +
                 `dropoutmarks=${row.marks ? quote(row.marks) : 'NULL'} WHERE id=${index + 1};`);
    });
  }
  execFileSync('sqlite3', [path.join(iFolder, 'Tapevault.db')], {input: sql.join('\n')});
}

// A PulseAudio daemon of its own in iFolder with a null sink per name of iSinks; its `server` is the address for
// PULSE_SERVER.
export async function startPulse(iFolder, iSinks) {
  const config = path.join(iFolder, 'pa.conf');
  const socket = path.join(iFolder, 'native');
  fs.writeFileSync(config, iSinks.map((name) => `load-module module-null-sink sink_name=${name} norewinds=1`)
                               .join('\n') +
                               `\nload-module module-native-protocol-unix auth-anonymous=1 socket=${socket}\n`);
  const env = {...process.env, HOME: path.join(iFolder, 'home'), PULSE_RUNTIME_PATH: path.join(iFolder, 'rt')};
  const daemon = spawn('pulseaudio', ['-n', '-F', config, '--daemonize=no', '--exit-idle-time=-1', '--disallow-exit',
                                      '--use-pid-file=no', '--log-target=stderr'],
                       {env, stdio: 'ignore'});
  const started = await waitFor(() => new Promise((resolve) => {
    const probe = net.connect(socket, () => {
      probe.end();
      resolve(true);
    });
    probe.on('error', () => resolve(false));
  }), 10000);
  if (!started) {
    daemon.kill('SIGKILL');
    throw new Error('PulseAudio did not start');
  }
  return {daemon, server: 'unix:' + socket};
}

// A new root folder, removed when the program stops.
export function makeRoot() {
  return fs.mkdtempSync(path.join(os.tmpdir(), 'tapevault-web-'));
}

// The program on iRoot; iSlots: the text of each slot section (without its header); iEnvironment: variables to
// add or replace (a test's own sound server).
export async function startTapevault(iRoot, iSlots, iEnvironment = {}) {
  // The recordings of the tests lie in the past: no cleanup may delete them.
  const sections = iSlots.map((text, i) => `[Slot${i}]\nCleanupDaysEnabled=off\nCleanupSpaceEnabled=off\n${text}\n`).join('\n');
  fs.writeFileSync(path.join(iRoot, 'Tapevault.ini'),
                   `[General]\nSlotCount=${iSlots.length}\n\n${sections}\n[Webserver]\nEnabled=on\n` +
                       `Port=127.0.0.1:0\nAdminUser=${Users.admin[0]}\n` +
                       `AdminPassword=${passwordHash(Users.admin[1])}\nReadOnlyUser=${Users.viewer[0]}\n` +
                       `ReadOnlyPassword=${passwordHash(Users.viewer[1])}\nAnonymousAccess=none\n`);
  return startProgram(iRoot, iEnvironment);
}

// The program on the configuration a first `make run` seeds (scripts/seed-config), on a free loopback port; the
// administrator's password is in the service's `adminPassword`.
export async function startSeeded(iRoot) {
  execFileSync(path.join(SourceFolder, 'scripts', 'seed-config'), [path.join(iRoot, 'Tapevault.ini'), '127.0.0.1:0'],
               {env: {...process.env, PULSE_SERVER: 'unix:' + path.join(iRoot, 'no-pulse')}, stdio: 'ignore'});
  const service = await startProgram(iRoot, {});
  service.adminPassword = fs.readFileSync(path.join(iRoot, 'admin-password'), 'utf8').trim();
  return service;
}

// The program on iRoot, whose configuration lets the web server choose its port; the service's `base` is the
// address the program says it listens on.
async function startProgram(iRoot, iEnvironment) {
  if (!Program || !fs.existsSync(Program))
    throw new Error('TAPEVAULT_PROGRAM does not name the built program: ' + Program);
  const root = iRoot;
  const home = path.join(root, 'home');
  fs.mkdirSync(home, {recursive: true});
  const env = {...process.env, TZ: TimeZone, HOME: home, XDG_CONFIG_HOME: path.join(home, '.config'),
               PULSE_SERVER: 'unix:' + path.join(home, 'no-pulse'), ...iEnvironment};
  delete env.DISPLAY;
  delete env.WAYLAND_DISPLAY;
  const child = spawn(Program, ['-headless', '-rootfolder', root], {env, stdio: ['ignore', 'pipe', 'pipe']});
  let output = '';
  child.stdout.on('data', (chunk) => (output += chunk));
  child.stderr.on('data', (chunk) => (output += chunk));
  const exited = new Promise((resolve) => child.on('exit', (code, signal) => resolve(signal ? 128 : code)));
  // Under the sanitizers the program needs a few seconds to come up.
  const started = await new Promise((resolve) => {
    const deadline = setTimeout(() => resolve(false), 30000);
    const check = () => {
      if (output.includes('Web server started')) {
        clearTimeout(deadline);
        resolve(true);
      } else if (child.exitCode !== null) {
        clearTimeout(deadline);
        resolve(false);
      } else
        setTimeout(check, 50);
    };
    check();
  });
  const service = {
    root,
    base: /Web server listening on (http:\/\/[^/\s]+)\//.exec(output)?.[1],
    output: () => output,
    async end() {
      if (child.exitCode === null)
        child.kill('SIGTERM');
      let timer;
      const code = await Promise.race([exited, new Promise((r) => (timer = setTimeout(() => r('timeout'), 30000)))]);
      clearTimeout(timer);
      if (code === 'timeout')
        child.kill('SIGKILL');
      return code;
    },
    async stop() {
      const code = await service.end();
      fs.rmSync(root, {recursive: true, force: true});
      return code;
    },
    // Ends the program and starts it again on the same root and address; the new service replaces this one.
    async restart() {
      const code = await service.end();
      const ini = path.join(root, 'Tapevault.ini');
      const address = service.base.replace('http://', '');
      fs.writeFileSync(ini, fs.readFileSync(ini, 'utf8').replace(/^Port=.*$/m, 'Port=' + address));
      return {code, service: await startProgram(root, iEnvironment)};
    },
  };
  if (!started) {
    await service.stop();
    throw new Error('the program did not start its web server:\n' + output);
  }
  return service;
}

export async function launchChromium() {
  if (!fs.existsSync(Chromium))
    throw new Error(`Chromium is missing at ${Chromium}: run scripts/install-deps`);
  return chromium.launch({
    executablePath: Chromium,
    headless: true,
    env: {...process.env, TZ: TimeZone},
    args: ['--no-sandbox', '--disable-gpu', '--disable-quic', '--no-first-run', '--disable-background-networking',
           '--disable-component-update', '--disable-sync'],
  });
}

// A fresh browser context (its own profile) logged in as iUser, with every console error, page error and
// JavaScript dialog collected in `problems`.
export async function newPage(iBrowser, iUser, iOptions = {}) {
  const [user, password] = iUser;
  const context = await iBrowser.newContext({timezoneId: TimeZone, locale: 'en-US', acceptDownloads: true,
                                             viewport: {width: 1280, height: 900}, ...iOptions});
  await context.setExtraHTTPHeaders(
      {Authorization: 'Basic ' + Buffer.from(`${user}:${password}`).toString('base64')});
  const page = await context.newPage();
  const problems = [];
  page.on('console', (message) => {
    if (message.type() === 'error')
      problems.push('console: ' + message.text());
  });
  page.on('response', (response) => {
    if (response.status() >= 400)
      problems.push(`HTTP ${response.status()}: ${response.url()}`);
  });
  page.on('pageerror', (error) => problems.push('page error: ' + error.message));
  page.on('dialog', (dialog) => {
    problems.push('dialog: ' + dialog.message());
    dialog.dismiss();
  });
  return {context, page, problems};
}

// From now on, every page iPage opens notes in window.calendarShownAfterMs the first frame that shows the
// calendar itself, taken by the page: polling from outside would put the cost of Playwright's injected scripts
// on the page's main thread into the figure.
export async function noteCalendarShown(iPage) {
  await iPage.addInitScript(() => {
    new MutationObserver((changes, observer) => {
      if (!document.querySelector('#calendar .fc-view'))
        return;
      observer.disconnect();
      requestAnimationFrame(() => { window.calendarShownAfterMs = performance.now(); });
    }).observe(document, {childList: true, subtree: true});
  });
}

export function screenshotPath(iName) {
  fs.mkdirSync(OutputFolder, {recursive: true});
  return path.join(OutputFolder, iName);
}

export async function waitFor(iCondition, iTimeout = 10000, iStep = 100) {
  const end = Date.now() + iTimeout;
  for (;;) {
    if (await iCondition())
      return true;
    if (Date.now() > end)
      return false;
    await new Promise((r) => setTimeout(r, iStep));
  }
}
