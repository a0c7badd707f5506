// A real browser against hwendle.exe under lighttpd: it follows the redirect,
// runs the "Redirect w/cookies" page and keeps its cookie, and submits the
// page's form back to hwendle.exe, empty and with fields, checking the body it
// sends. Usage: node driver_browser.mjs BASE_URL SITE_PREFIX
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
  // The rendered form has no fields: its body is empty, and still a form body.
  check('page: posted body', '', posted.postData() ?? '');
  check('page: posted content type', 'application/x-www-form-urlencoded', await posted.headerValue('content-type'));

  // With the caller field filled in, the browser's encoding of it is the body
  // the program reads, and the answer is still the redirect. The page names no
  // character set, so the browser encodes as Latin-1, the program's own.
  await page.goto(`${base}/cgi-bin/page_form.exe?5,6,7,a%20b`);
  const [filled, answer] = await Promise.all([
    page.waitForRequest((r) => r.method() === 'POST'),
    page.waitForResponse((r) => r.request().method() === 'POST'),
    page.evaluate(() => {
      const form = document.forms[0];
      for (const [name, value] of [['sCallerURL', 'http://caller/a b?x=1&y=\u00e9'], ['field', '1']]) {
        const input = document.createElement('input');
        input.type = 'hidden';
        input.name = name;
        input.value = value;
        form.appendChild(input);
      }
      form.submit();
    }),
  ]);
  check('filled form: posted body', 'sCallerURL=http%3A%2F%2Fcaller%2Fa+b%3Fx%3D1%26y%3D%E9&field=1',
    filled.postData());
  check('filled form: posted to', `${base}/cgi-bin/hwendle.exe?5,6,7,a+b`, filled.url());
  check('filled form: answered with the redirect', `302 ${prefix}Hwendle.aspx?5,6,7,a+b`,
    `${answer.status()} ${await answer.headerValue('location')}`);
} finally {
  await context.close();
  rmSync(profile, { recursive: true, force: true });
}
process.exit(failures === 0 ? 0 : 1);
