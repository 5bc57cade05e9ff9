// The page's durations in headless Chromium: runs each digit count REPEAT times in one page, as
// its user would (the digits field and Start), and prints the program's own durations, one line
// per digit count: "<digits> <s> <s> ...", then "kernels <the set the page's program took>".
// Usage: node web_durations.mjs <site folder> <chromium> <digits>...
import {mkdtempSync} from 'node:fs';
import {tmpdir} from 'node:os';
import {join} from 'node:path';
import puppeteer from '../web/node_modules/puppeteer-core/lib/esm/puppeteer/puppeteer-core.js';
import {serve} from '../web/serve.mjs';

const [site, chromium, ...counts] = process.argv.slice(2);
const repeat = Number(process.env.REPEAT || 3);
const server = await serve(site);
const browser = await puppeteer.launch({
  executablePath: chromium,
  headless: true,
  userDataDir: mkdtempSync(join(tmpdir(), 'tu_mardo-bench-')),
  args: ['--no-sandbox', '--disable-gpu', '--no-first-run', '--disable-background-networking',
         '--disable-component-update', '--disable-sync'],
});
try {
  const page = await browser.newPage();
  await page.goto(`http://127.0.0.1:${server.address().port}/`);
  for (const digits of counts) {
    const times = [];
    for (let i = 0; i < repeat; ++i) {
      await page.waitForFunction(() => ['asking', 'ended'].includes(document.body.dataset.state),
                                 {timeout: 60000, polling: 50});
      await page.evaluate((value) => {
        delete document.body.dataset.lastStatus;
        document.getElementById('digits').value = value;
      }, digits);
      await page.click('#start');
      await page.waitForFunction(() => document.body.dataset.lastStatus !== undefined,
                                 {timeout: 900000, polling: 100});
      const log = await page.evaluate(async () => new TextDecoder().decode(
          await (await fetch(document.getElementById('file-PI.Tst').href)).arrayBuffer()));
      times.push(Number(/Duration is\s+(\S+) sec/.exec(log)[1]));
    }
    console.log(`${digits} ${times.join(' ')}`);
  }
  console.log(`kernels ${await page.evaluate(() => document.body.dataset.kernels)}`);
} finally {
  await browser.close();
  server.close();
}
