// A real browser against hwendle.exe under lighttpd: it follows the redirect,
// runs the "Redirect w/cookies" page and keeps its cookie, and submits the
// page's form back to hwendle.exe. Usage: node driver_browser.mjs BASE_URL SITE_PREFIX
import { chromium } from 'playwright-core';
import { mkdtempSync, rmSync } from 'node:fs';
import { tmpdir } from 'node:os';
import { join } from 'node:path';

const [base, prefix] = process.argv.slice(2);
const profile = mkdtempSync(join(tmpdir(), 'qz-driver-chromium-'));
let failures = 0;
function check(name, expected, actual) {
  if (expected === actual) {
    console.log(`ok   ${name}`);
  } else {
    console.log(`FAIL ${name}\n     expected: ${JSON.stringify(expected)}\n     actual:   ${JSON.stringify(actual)}`);
    failures++;
  }
}

const context = await chromium.launchPersistentContext(profile, {
  executablePath: '/usr/bin/chromium',
  headless: true,
  args: ['--headless', '--no-sandbox', '--disable-gpu', '--disable-quic', '--no-first-run',
    '--disable-background-networking', '--disable-component-update', '--disable-sync'],
});
try {
  const page = await context.newPage();

  // The GET redirect lands on the site prefix (served by the same lighttpd).
  let response = await page.goto(`${base}/cgi-bin/hwendle.exe?5,6,7,abc`);
  check('redirect: final URL', `${prefix}Hwendle.aspx?5,6,7,abc`, page.url());
  check('redirect: target served', 200, response.status());

  // The cookie page's script replaces the location; the cookie stays stored.
  await page.goto(`${base}/cgi-bin/redirect_cookie.exe`);
  await page.waitForURL(/landing\.html$/, { timeout: 10000 });
  check('cookie redirect: landed', `${base}/cgi-bin/landing.html`, page.url());
  check('cookie redirect: landing page', 'landed', (await page.textContent('body')).trim());
  check('cookie redirect: cookie in the page', 'qzvisit=redirected', await page.evaluate(() => document.cookie));
  const cookies = await context.cookies(base);
  check('cookie redirect: cookie in the browser', 'redirected',
    cookies.find((c) => c.name === 'qzvisit')?.value);

  // The rendered page: its form posts back to hwendle.exe, which redirects.
  await page.goto(`${base}/cgi-bin/page_form.exe?5,6,7,a%20b`);
  check('page: title', 'wendle', await page.title());
  check('page: form action', 'hwendle.exe?5,6,7,a+b',
    await page.evaluate(() => document.forms[0].getAttribute('action')));
  const [posted] = await Promise.all([
    page.waitForRequest((r) => r.method() === 'POST'),
    page.evaluate(() => document.forms[0].submit()),
  ]);
  await page.waitForURL(/Hwendle\.aspx/, { timeout: 10000 });
  check('page: form posted to', `${base}/cgi-bin/hwendle.exe?5,6,7,a+b`, posted.url());
  check('page: post redirected to', `${prefix}Hwendle.aspx?5,6,7,a+b`, page.url());
} finally {
  await context.close();
  rmSync(profile, { recursive: true, force: true });
}
process.exit(failures === 0 ? 0 : 1);
