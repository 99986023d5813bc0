// Drives the demo page in headless Chromium: waits for the first preview, types the data,
// waits for the preview of exactly that data and takes a screenshot of the page; then switches
// to SVG and waits for that preview and its download link; then asks for an image too small
// for the symbol and waits for the error text; then draws the GS1 example, gives it a wrong
// check digit and reads the detail line, and types text beyond ASCII; then draws the Digital
// Link example and gives it a wrong check digit.
// Usage: node demo-check.js BASE_URL DATA SCREENSHOT.png
// Prints one JSON line: {"readyStatus": ..., "svgStatus": ..., "svgDownload": ..., "svgLink": ...,
// "errorStatus": ..., "gs1Detail": ..., "utf8": ..., "frame": {x, y, width, height},
// "problems": [...], "digitalLink": ..., "digitalLinkDetail": ...}, where frame is where the preview stands in the screenshot and svgDownload
// the file name the download link offers.
'use strict';

const { withBrowserPage, runMain } = require('./browser-session');

const [baseUrl, data, screenshotPath] = process.argv.slice(2);

async function main() {
  await withBrowserPage({ width: 1100, height: 900 }, async (page, problems) => {
    let watchConsole = true;
    page.on('console', (message) => {
      if (watchConsole && message.type() === 'error') {
        problems.push('console: ' + message.text());
      }
    });

    await page.goto(baseUrl + '/', { waitUntil: 'load' });
    await page.waitForSelector('#status[data-state="ready"]');

    await page.fill('#data', '');
    await page.locator('#data').pressSequentially(data, { delay: 15 });
    await page.waitForFunction((expected) => {
      const preview = document.getElementById('preview');
      const status = document.getElementById('status');
      return status.dataset.state === 'ready' && preview.dataset.query !== undefined &&
          new URLSearchParams(preview.dataset.query).get('data') === expected && preview.complete &&
          preview.naturalWidth > 0;
    }, data);
    await page.screenshot({ path: screenshotPath });
    const readyStatus = await page.textContent('#status');
    const box = await page.locator('#frame').boundingBox();
    const frame = { x: Math.floor(box.x), y: Math.floor(box.y), width: Math.ceil(box.width), height: Math.ceil(box.height) };

    await page.check('#out-svg');
    await page.waitForFunction(() => {
      const preview = document.getElementById('preview');
      return document.getElementById('status').dataset.state === 'ready' && preview.dataset.query !== undefined &&
          new URLSearchParams(preview.dataset.query).get('out') === 'svg' && preview.complete &&
          preview.naturalWidth > 0;
    });
    const svgStatus = await page.textContent('#status');
    const svgDownload = await page.getAttribute('#download', 'download');
    const svgLink = await page.getAttribute('#download', 'href');

    // A failing image is expected to log its failed load; only script errors count from here.
    watchConsole = false;
    await page.fill('#w', '11');
    await page.fill('#h', '11');
    await page.waitForSelector('#status[data-state="error"]');
    const errorStatus = await page.textContent('#status');

    // The GS1 example draws; a wrong check digit shows the generator's detail line.
    await page.fill('#w', '');
    await page.fill('#h', '');
    await page.click('#gs1-example');
    await page.waitForFunction(() => {
      const query = document.getElementById('preview').dataset.query;
      return document.getElementById('status').dataset.state === 'ready' && query !== undefined &&
          new URLSearchParams(query).get('gs1') === '1';
    });
    await page.fill('#data', '(01)09501101530004');
    await page.waitForSelector('#status[data-state="error"]');
    const gs1Detail = await page.textContent('#detail');
    // Text beyond ASCII goes out with utf8=1.
    await page.uncheck('#gs1');
    await page.fill('#data', 'Straße');
    await page.waitForFunction(() => {
      const query = document.getElementById('preview').dataset.query;
      return document.getElementById('status').dataset.state === 'ready' && query !== undefined &&
          new URLSearchParams(query).get('data') === 'Straße';
    });
    const utf8 = new URLSearchParams(await page.getAttribute('#preview', 'data-query')).get('utf8');
    // The Digital Link example draws its URI as it stands; a wrong check digit names the URI part.
    await page.click('#gs1dl-example');
    await page.waitForFunction(() => {
      const query = document.getElementById('preview').dataset.query;
      return document.getElementById('status').dataset.state === 'ready' && query !== undefined &&
          new URLSearchParams(query).get('gs1dl') === '1';
    });
    const digitalLink = new URLSearchParams(await page.getAttribute('#preview', 'data-query')).get('data');
    await page.fill('#data', 'https://id.gs1.org/01/09506000134353');
    await page.waitForSelector('#status[data-state="error"]');
    const digitalLinkDetail = await page.textContent('#detail');

    console.log(JSON.stringify({ readyStatus, svgStatus, svgDownload, svgLink, errorStatus, gs1Detail, utf8, frame,
      problems, digitalLink, digitalLinkDetail }));
  });
}

runMain(main);
