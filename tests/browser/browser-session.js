// One headless Chromium session for the browser checks: a throwaway profile, device scale 1,
// sRGB colours (so that a colour on the page is the same bytes on a screenshot), one page whose
// uncaught errors land in problems, and everything removed again afterwards.
'use strict';

const fs = require('fs');
const os = require('os');
const path = require('path');
const { chromium } = require('playwright-core');

const stepTimeout = 20000;

// Runs use(page, problems) in a fresh session with the given viewport and returns its result.
async function withBrowserPage(viewport, use) {
  const userDataDir = fs.mkdtempSync(path.join(os.tmpdir(), 'korvex-chromium-'));
  const context = await chromium.launchPersistentContext(userDataDir, {
    executablePath: process.env.KORVEX_CHROMIUM || '/usr/bin/chromium',
    headless: true,
    args: ['--headless', '--no-sandbox', '--disable-gpu', '--no-first-run', '--disable-background-networking',
           '--disable-quic', '--disable-component-update', '--disable-sync', '--force-color-profile=srgb'],
    viewport,
    deviceScaleFactor: 1,
    timeout: stepTimeout,
  });
  try {
    const page = context.pages()[0] || await context.newPage();
    page.setDefaultTimeout(stepTimeout);
    const problems = [];
    page.on('pageerror', (error) => problems.push('page error: ' + error.message));
    return await use(page, problems);
  } finally {
    await context.close();
    fs.rmSync(userDataDir, { recursive: true, force: true });
  }
}

// Runs main, and ends the process with status 1 and the error's stack when it fails.
function runMain(main) {
  main().catch((error) => {
    console.error(error && error.stack ? error.stack : String(error));
    process.exit(1);
  });
}

module.exports = { withBrowserPage, runMain };
