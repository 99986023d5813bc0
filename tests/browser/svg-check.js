// Renders SVG answers of the generator in one headless Chromium session, each document at its
// own size with device scale 1, and takes a screenshot of exactly its pixels.
// Usage: node svg-check.js BASE_URL LIST OUTDIR
// LIST has one request a line: "WIDTH HEIGHT QUERY"; request n (from 0) goes to OUTDIR/n.png.
// Prints one JSON line: {"contentTypes": [...], "problems": [...]}.
'use strict';

const fs = require('fs');
const os = require('os');
const path = require('path');
const { chromium } = require('playwright-core');

const [baseUrl, listPath, outDir] = process.argv.slice(2);
const chromiumPath = process.env.KORVEX_CHROMIUM || '/usr/bin/chromium';
const stepTimeout = 20000;

async function main() {
  const requests = fs.readFileSync(listPath, 'utf8').split('\n').filter((line) => line !== '').map((line) => {
    const [width, height, query] = line.split(' ');
    return { width: Number(width), height: Number(height), query };
  });
  const userDataDir = fs.mkdtempSync(path.join(os.tmpdir(), 'korvex-chromium-'));
  const context = await chromium.launchPersistentContext(userDataDir, {
    executablePath: chromiumPath,
    headless: true,
    // sRGB throughout, so that a colour in the document is the same byte values on the screenshot.
    args: ['--headless', '--no-sandbox', '--disable-gpu', '--no-first-run', '--disable-background-networking',
           '--disable-quic', '--disable-component-update', '--disable-sync', '--force-color-profile=srgb'],
    viewport: { width: 700, height: 700 },
    deviceScaleFactor: 1,
    timeout: stepTimeout,
  });
  const problems = [];
  const contentTypes = [];
  try {
    const page = context.pages()[0] || await context.newPage();
    page.setDefaultTimeout(stepTimeout);
    page.on('pageerror', (error) => problems.push('page error: ' + error.message));
    for (const [n, request] of requests.entries()) {
      const response = await page.goto(baseUrl + '/cgi-bin/korvex.cgi?' + request.query, { waitUntil: 'load' });
      contentTypes.push(response.headers()['content-type'] || '');
      await page.screenshot({
        path: path.join(outDir, n + '.png'),
        clip: { x: 0, y: 0, width: request.width, height: request.height },
      });
    }
    console.log(JSON.stringify({ contentTypes, problems }));
  } finally {
    await context.close();
    fs.rmSync(userDataDir, { recursive: true, force: true });
  }
}

main().catch((error) => {
  console.error(error && error.stack ? error.stack : String(error));
  process.exit(1);
});
