// Renders SVG answers of the generator in one headless Chromium session, each document at its
// own size with device scale 1, and takes a screenshot of exactly its pixels.
// Usage: node svg-check.js BASE_URL LIST OUTDIR
// LIST has one request a line: "WIDTH HEIGHT QUERY"; request n (from 0) goes to OUTDIR/n.png.
// Prints one JSON line: {"contentTypes": [...], "problems": [...]}.
'use strict';

const fs = require('fs');
const path = require('path');
const { withBrowserPage, runMain } = require('./browser-session');

const [baseUrl, listPath, outDir] = process.argv.slice(2);

async function main() {
  const requests = fs.readFileSync(listPath, 'utf8').split('\n').filter((line) => line !== '').map((line) => {
    const [width, height, query] = line.split(' ');
    return { width: Number(width), height: Number(height), query };
  });
  await withBrowserPage({ width: 700, height: 700 }, async (page, problems) => {
    const contentTypes = [];
    for (const [n, request] of requests.entries()) {
      const response = await page.goto(baseUrl + '/cgi-bin/korvex.cgi?' + request.query, { waitUntil: 'load' });
      contentTypes.push(response.headers()['content-type'] || '');
      await page.screenshot({
        path: path.join(outDir, n + '.png'),
        clip: { x: 0, y: 0, width: request.width, height: request.height },
      });
    }
    console.log(JSON.stringify({ contentTypes, problems }));
  });
}

runMain(main);
