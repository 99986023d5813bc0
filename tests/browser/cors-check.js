// Reads an SVG answer of the generator from a page of another origin, as a page that embeds the
// generator's symbols does: once as a simple request, and once with If-None-Match, a header
// that makes Chromium ask the generator first (a preflight OPTIONS).
// Usage: node cors-check.js PAGE_URL GENERATOR_URL QUERY
// Prints one JSON line: {"status", "contentType", "etag", "svg", "conditionalStatus", "problems"}.
'use strict';

const { withBrowserPage, runMain } = require('./browser-session');

const [pageUrl, generatorUrl, query] = process.argv.slice(2);

async function main() {
  await withBrowserPage({ width: 800, height: 600 }, async (page, problems) => {
    await page.goto(pageUrl, { waitUntil: 'load' });
    const result = await page.evaluate(async ([url]) => {
      const response = await fetch(url, { mode: 'cors', cache: 'no-store' });
      const svg = await response.text();
      const etag = response.headers.get('etag') || '';
      const conditional = await fetch(url, { mode: 'cors', cache: 'no-store', headers: { 'If-None-Match': etag } });
      return {
        origin: window.location.origin,
        status: response.status,
        contentType: response.headers.get('content-type') || '',
        etag,
        svg,
        conditionalStatus: conditional.status,
      };
    }, [generatorUrl + '?' + query]);
    console.log(JSON.stringify({ ...result, problems }));
  });
}

runMain(main);
