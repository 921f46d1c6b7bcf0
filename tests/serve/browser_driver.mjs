// One small driver over the two engines the page is tested in: Debian's chromium through
// playwright-core (CDP), Debian's firefox-esr through puppeteer-core (WebDriver BiDi). The tests
// speak to the page through this alone, so each step runs the same in both.
import { existsSync } from 'node:fs';

export const engines = {
  chromium: process.env.CHROMIUM || '/usr/bin/chromium',
  firefox: process.env.FIREFOX || '/usr/bin/firefox-esr',
};

export async function launch(engine) {
  const executablePath = engines[engine];
  if (!executablePath) throw new Error(`no such engine: ${engine}`);
  if (!existsSync(executablePath)) throw new Error(`${executablePath} is not installed (scripts/install-deps)`);
  if (engine === 'chromium') {
    const { chromium } = await import('playwright-core');
    const browser = await chromium.launch({
      executablePath,
      args: ['--headless=new', '--no-sandbox', '--disable-gpu', '--disable-dev-shm-usage',
             '--disable-background-networking', '--no-first-run', '--disable-extensions',
             '--disable-renderer-backgrounding', '--disable-background-timer-throttling',
             '--disable-backgrounding-occluded-windows'],
    });
    return {
      engine,
      async newPage(viewport) {
        const page = await browser.newPage({ viewport });
        page.setDefaultTimeout(20_000);
        return wrapPlaywright(page);
      },
      close: () => browser.close(),
    };
  }
  const { default: puppeteer } = await import('puppeteer-core');
  const browser = await puppeteer.launch({
    browser: 'firefox', executablePath, headless: true, protocol: 'webDriverBiDi',
    timeout: 60_000,
    // No emulated viewport for every new page: each page sets its own size below, and the window
    // is as large as the largest a test asks for.
    defaultViewport: null, args: ['--width=1440', '--height=1100'],
    extraPrefsFirefox: { 'dom.min_background_timeout_value': 4 },
  });
  return {
    engine,
    async newPage(viewport) {
      const page = await browser.newPage();
      try {
        await page.setViewport(viewport || { width: 1280, height: 900 });
      } catch (error) {
        // Debian 12's firefox-esr 140 has no screen orientation override, which puppeteer sends
        // beside the size; the size itself is set by the command sent with it.
        if (!/setScreenOrientationOverride/.test(error.message)) throw error;
      }
      page.setDefaultTimeout(20_000);
      return wrapPuppeteer(page);
    },
    close: () => browser.close(),
  };
}

function collect(page, into) {
  page.on('pageerror', (error) => {
    // The driver's own waiting code, refused by the page's policy (see wrapPuppeteer), is no
    // fault of the page.
    if (into.ownEvalRefused && /blocked a JavaScript eval/.test(error.message)) return;
    into.errors.push(`page error: ${error.message}`);
  });
  page.on('response', (response) => {
    if (response.status() >= 400) into.failedResponses.push(`${response.status()} ${response.url()}`);
  });
}

function common(page) {
  return {
    raw: page,
    errors: [],
    failedResponses: [],
    dialogs: [],
    goto: (url) => page.goto(url),
    evaluate: (fn, arg) => page.evaluate(fn, arg),
    // Sets a field's value as typing would, and tells the page.
    fill: (selector, value) => page.evaluate(([s, v]) => {
      const field = document.querySelector(s);
      field.value = v;
      field.dispatchEvent(new Event('input', { bubbles: true }));
    }, [selector, value]),
    select: (selector, value) => page.evaluate(([s, v]) => {
      const field = document.querySelector(s);
      field.value = v;
      if (field.value !== v) throw new Error(`${s} has no option ${v}`);
      field.dispatchEvent(new Event('change', { bubbles: true }));
    }, [selector, value]),
    screenshot: (path) => page.screenshot({ path }),
    close: () => page.close(),
  };
}

function wrapPlaywright(page) {
  const wrapped = common(page);
  collect(page, wrapped);
  page.on('dialog', (dialog) => { wrapped.dialogs.push(dialog.message()); dialog.dismiss(); });
  return Object.assign(wrapped, {
    async wait(fn, arg, timeout = 20_000) {
      return (await page.waitForFunction(fn, arg, { timeout })).jsonValue();
    },
    // A real click, as a user's: the control gets the focus.
    click: (selector) => page.click(selector),
    colorScheme: async (scheme) => {
      await page.emulateMedia({ colorScheme: scheme });
      return true;
    },
  });
}

function wrapPuppeteer(page) {
  let cspBlocksWaits = false;
  const wrapped = common(page);
  collect(page, wrapped);
  page.on('dialog', (dialog) => { wrapped.dialogs.push(dialog.message()); dialog.dismiss(); });
  return Object.assign(wrapped, {
    async wait(fn, arg, timeout = 20_000) {
      if (!cspBlocksWaits) {
        try {
          return (await page.waitForFunction(fn, { timeout, polling: 'raf' }, arg)).jsonValue();
        } catch (error) {
          // Firefox before 141 holds puppeteer's waiting code to the page's content security
          // policy (no Function()); evaluating from here is not, so poll that way instead.
          if (!/blocked by CSP/.test(`${error.message} ${error.cause?.message}`)) throw error;
          cspBlocksWaits = true;
          wrapped.ownEvalRefused = true;
          wrapped.errors = wrapped.errors.filter((e) => !/blocked a JavaScript eval/.test(e));
        }
      }
      const deadline = Date.now() + timeout;
      for (;;) {
        // A node does not travel back: it counts as true, as it does for waitForFunction.
        const value = await page.evaluate(`(() => {
          const value = (${fn})(${JSON.stringify(arg)});
          return value && typeof value === 'object' && value.nodeType ? true : value;
        })()`);
        if (value) return value;
        if (Date.now() > deadline) {
          const seen = await page.evaluate(() => `connection: ${document.getElementById('connection')?.textContent}; counts: ${[...document.querySelectorAll('.counts')].map((c) => c.textContent).join(' | ')}`);
          throw new Error(`waiting failed: ${timeout} ms exceeded for ${String(fn).slice(0, 160)} (${JSON.stringify(arg)}); ${seen}; ${wrapped.errors.join('; ')} ${wrapped.failedResponses.join('; ')}`);
        }
        await new Promise((resolve) => setTimeout(resolve, 4));
      }
    },
    async click(selector) {
      await page.waitForSelector(selector, { visible: true });
      await page.click(selector);
    },
    // puppeteer-core emulates media features through CDP alone, which Firefox does not speak:
    // false says the step cannot be taken here.
    async colorScheme(scheme) {
      try {
        await page.emulateMediaFeatures([{ name: 'prefers-color-scheme', value: scheme }]);
        return true;
      } catch (error) {
        if (/CDP/.test(error.message)) return false;
        throw error;
      }
    },
  });
}
