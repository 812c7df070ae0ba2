// Starts Debian's chromium, firefox-esr or WebKit (webkit2gtk-driver's
// MiniBrowser) for the page's tests and its benchmark: a fresh profile,
// nothing fetched in the background, and downloads saved without asking into
// one folder. Each is driven through the same small interface, so that a test
// is written once for the three:
//   const browser = await launch("webkit", { profile, downloads });
//   const page = await browser.newPage();
//   await page.goto(url);
//   await page.evaluate((a, b) => a + b, 1, 2);         // in the page; may be async
//   await page.waitFor((n) => document.title === n, ["x"]);
//   await page.setFiles("input[name=files]", [paths]);  // a file field
//   await page.type(selector, "text"); await page.click(selector);
//   await page.press("Tab"); await page.keys("-3");     // whatever has the focus
//   await page.close(); await browser.close();
// Where an engine's driver can tell more (the console, the requests, a drop
// from the disk, the manifest as the browser read it), the page has it, and
// where it can install web apps, the browser has them (browser.apps);
// elsewhere each is null.
// chromium and firefox-esr run headless under puppeteer-core; WebKit has no
// headless mode, so MiniBrowser runs under its own Xvfb and is driven by
// WebKitWebDriver over W3C WebDriver (classic), with node's own fetch.
import { spawn } from "node:child_process";
import fs from "node:fs";
import net from "node:net";
import path from "node:path";
import puppeteer from "puppeteer-core";

export const engines = ["chromium", "firefox", "webkit"];

export async function launch(name, { profile, downloads }) {
	fs.mkdirSync(profile, { recursive: true });
	if (name === "webkit") return launchWebKit(profile, downloads);
	const browser = await launchPuppeteer(name, profile, downloads);
	return {
		name,
		puppeteer: browser,
		pid: browser.process().pid,
		newPage: async () => puppeteerPage(await browser.newPage(), name),
		apps: name === "chromium" ? await webApps(browser) : null,
		close: () => browser.close(),
	};
}

// Web apps installed in Chromium's profile, as a person installs one (by its
// manifest id, here the URL it is installed from), each opening in a window
// of its own:
//   await apps.install(url); await apps.fileHandlers(url);  // as the system has them
//   await apps.launchFiles(url, [paths]);  // as the system's "Open with" does
//   await apps.windows(url);               // the app's windows, as pages
// Through the browser's own CDP session, which Chromium gives only over a
// pipe.
async function webApps(browser) {
	const session = await browser.target().createCDPSession();
	return {
		install: async (url) => {
			await session.send("PWA.install", { manifestId: url, installUrlOrBundleUrl: url });
			await session.send("PWA.changeAppUserSettings", { manifestId: url, displayMode: "standalone" });
		},
		fileHandlers: async (id) => (await session.send("PWA.getOsAppState", { manifestId: id })).fileHandlers,
		launchFiles: (id, files) => session.send("PWA.launchFilesInApp", { manifestId: id, files }),
		windows: async (url) => {
			const found = [];
			for (const page of await browser.pages()) {
				if (page.url() === url && await page.evaluate(() => matchMedia("(display-mode: standalone)").matches))
					found.push(puppeteerPage(page, "chromium"));
			}
			return found;
		},
	};
}

// One command may take as long as the longest wait a test asks for: a wait
// is one command in Firefox, and puppeteer's own limit (3 minutes) would cut
// it short with a message that names neither.
const protocolTimeout = 360000;

function launchPuppeteer(name, profile, downloads) {
	if (name === "chromium") {
		// An installed app's desktop entry, icons and MIME types go to the
		// profile's own XDG folders, not the machine's.
		return puppeteer.launch({
			browser: "chrome",
			executablePath: process.env.CHROMIUM || "/usr/bin/chromium",
			headless: true,
			pipe: true,
			protocolTimeout,
			env: { ...process.env, HOME: profile, XDG_DATA_HOME: path.join(profile, "data"),
				XDG_CONFIG_HOME: path.join(profile, "config"), XDG_CACHE_HOME: path.join(profile, "cache") },
			userDataDir: profile,
			downloadBehavior: { policy: "allow", downloadPath: downloads },
			args: ["--no-sandbox", "--disable-gpu", "--no-first-run", "--disable-background-networking",
				"--disable-component-update", "--disable-sync", "--disable-dev-shm-usage"],
		});
	}
	return puppeteer.launch({
		browser: "firefox",
		executablePath: process.env.FIREFOX || "/usr/bin/firefox-esr",
		headless: true,
		protocolTimeout,
		userDataDir: profile,
		extraPrefsFirefox: {
			"browser.download.folderList": 2,
			"browser.download.dir": downloads,
			"browser.download.useDownloadDir": true,
			"browser.download.always_ask_before_handling_new_types": false,
			"browser.helperApps.neverAsk.saveToDisk": "application/octet-stream",
			"browser.download.enable_spam_prevention": false,
			"browser.download.start_downloads_in_tmp_dir": false,
			// The downloads panel would take the focus from the page, where
			// a key would then no longer press a button.
			"browser.download.alwaysOpenPanel": false,
		},
	});
}

function puppeteerPage(page, name) {
	// What the console and the network tell, where the driver can tell it.
	const errors = [], requests = [];
	page.on("console", (message) => {
		if (message.type() === "error") errors.push(message.text());
	});
	page.on("pageerror", (error) => errors.push(String(error)));
	page.on("request", (request) => requests.push(request.url()));
	return {
		puppeteer: page,
		consoleErrors: () => errors,
		requests: () => requests,
		// Chromium's drop can carry files and folders from the disk.
		drop: name !== "chromium" ? null : async (files, x = 200, y = 200) => {
			const client = await page.createCDPSession();
			const data = { items: [], files, dragOperationsMask: 1 };
			for (const type of ["dragEnter", "dragOver", "drop"])
				await client.send("Input.dispatchDragEvent", { type, x, y, data });
			await client.detach();
		},
		// A folder for a webkitdirectory field: Chromium takes one; Firefox's
		// driver refuses it ("Is directory"), and WebKitWebDriver hands it
		// over as one empty file.
		canChooseFolder: name === "chromium",
		// Chromium's installability errors, and its manifest as it read it.
		appManifest: name !== "chromium" ? null : async () => {
			const client = await page.createCDPSession();
			const { installabilityErrors } = await client.send("Page.getInstallabilityErrors");
			const { url, errors, manifest } = await client.send("Page.getAppManifest");
			await client.detach();
			return { installabilityErrors, url, errors, manifest };
		},
		goto: (url) => page.goto(url),
		reload: () => page.reload(),
		evaluate: (fn, ...args) => page.evaluate(fn, ...args),
		// puppeteer's "Waiting failed" keeps what failed in its cause.
		waitFor: async (fn, args = [], timeout = 30000) => {
			try {
				return await (await page.waitForFunction(fn, { timeout, polling: 20 }, ...args)).jsonValue();
			} catch (e) {
				if (e.cause) e.message += ` (${e.cause.message || e.cause})`;
				throw e;
			}
		},
		// Runs before the page's own script on every later load.
		addInitScript: (fn, ...args) => page.evaluateOnNewDocument(fn, ...args),
		setFiles: async (selector, files) => (await page.$(selector)).uploadFile(...files),
		click: (selector) => page.click(selector),
		type: (selector, text) => page.type(selector, text),
		press: (key) => page.keyboard.press(key),
		keys: (text) => page.keyboard.type(text),
		screenshot: async (file, width, height) => {
			await page.setViewport({ width, height });
			// No focus ring nor caret, which the last answer left.
			await page.evaluate(() => {
				document.activeElement?.blur();
				window.scrollTo(0, 0);
			});
			await page.screenshot({ path: file, fullPage: true });
		},
		close: () => page.close(),
	};
}

// A port that was free a moment ago.
function freePort() {
	return new Promise((resolve, reject) => {
		const server = net.createServer();
		server.on("error", reject);
		server.listen(0, "127.0.0.1", () => {
			const { port } = server.address();
			server.close(() => resolve(port));
		});
	});
}

// An X server of its own: Xvfb picks a free display and writes its number
// on file descriptor 3 once it accepts clients.
function startXvfb() {
	const xvfb = spawn("Xvfb", ["-displayfd", "3", "-screen", "0", "1280x1024x24", "-nolisten", "tcp"],
		{ stdio: ["ignore", "ignore", "pipe", "pipe"] });
	return new Promise((resolve, reject) => {
		let text = "", log = "";
		xvfb.stderr.on("data", (data) => { log += data; });
		xvfb.stdio[3].on("data", (data) => {
			text += data;
			if (text.includes("\n")) resolve({ process: xvfb, display: ":" + text.trim() });
		});
		xvfb.on("error", reject);
		xvfb.on("exit", (code) => reject(new Error(`Xvfb exited (${code}): ${log}`)));
	});
}

// MiniBrowser and the files it keeps stay in the profile: HOME and the XDG
// folders point there, and user-dirs.dirs names the download folder.
async function launchWebKit(profile, downloads) {
	const lib = fs.readdirSync("/usr/lib/x86_64-linux-gnu").filter((d) => /^webkit2gtk-4\.\d$/.test(d)).sort();
	const binary = process.env.MINIBROWSER || (lib.length &&
		path.join("/usr/lib/x86_64-linux-gnu", lib.at(-1), "MiniBrowser"));
	if (!binary || !fs.existsSync(binary)) throw new Error("no MiniBrowser: install webkit2gtk-driver");
	const config = path.join(profile, "config");
	fs.mkdirSync(config, { recursive: true });
	fs.writeFileSync(path.join(config, "user-dirs.dirs"), `XDG_DOWNLOAD_DIR="${downloads}"\n`);
	const xvfb = await startXvfb();
	const port = await freePort();
	const env = {
		...process.env, DISPLAY: xvfb.display, HOME: profile, XDG_CONFIG_HOME: config,
		XDG_DATA_HOME: path.join(profile, "data"), XDG_CACHE_HOME: path.join(profile, "cache"),
		XDG_RUNTIME_DIR: profile, GDK_BACKEND: "x11",
	};
	delete env.WAYLAND_DISPLAY;
	const driver = spawn("WebKitWebDriver", [`--port=${port}`], { env, stdio: "ignore" });
	const stop = () => {
		driver.kill();
		xvfb.process.kill();
	};
	const base = `http://127.0.0.1:${port}`;
	try {
		for (let tries = 0; ; tries++) {
			try {
				if ((await fetch(base + "/status")).ok) break;
			} catch (e) {
				if (tries > 100) throw e;
				await new Promise((resolve) => setTimeout(resolve, 100));
			}
		}
		const { sessionId } = await webdriver(base, "POST", "/session", {
			capabilities: { alwaysMatch: { "webkitgtk:browserOptions": { binary, args: ["--automation"] } } },
		});
		const session = `${base}/session/${sessionId}`;
		await webdriver(session, "POST", "/timeouts", { script: 600000, pageLoad: 60000, implicit: 0 });
		await webdriver(session, "POST", "/window/rect", { width: 1200, height: 900 });
		return {
			name: "webkit",
			pid: driver.pid,
			// One window: a new page is that window on a blank document.
			newPage: async () => {
				await webdriver(session, "POST", "/url", { url: "about:blank" });
				return webDriverPage(session);
			},
			close: async () => {
				await webdriver(session, "DELETE", "").catch(() => {});
				stop();
			},
		};
	} catch (e) {
		stop();
		throw e;
	}
}

// One W3C WebDriver command; its value, or an error with the driver's message.
async function webdriver(url, method, command, body) {
	const response = await fetch(url + command, {
		method,
		headers: body ? { "content-type": "application/json; charset=utf-8" } : {},
		body: body ? JSON.stringify(body) : undefined,
	});
	const { value } = await response.json();
	if (!response.ok || (value && value.error)) {
		throw new Error(`WebDriver ${method} ${command}: ${value.error}: ${value.message}`);
	}
	return value;
}

const KEYS = { Tab: "\uE004", Enter: "\uE007", Escape: "\uE00C", Space: "\uE00D" };

function webDriverPage(session) {
	const run = (command, body) => webdriver(session, "POST", command, body);
	const element = async (selector) => {
		const found = await run("/element", { using: "css selector", value: selector });
		return Object.values(found)[0];
	};
	// The function's text runs in the page with the arguments as JSON; an
	// exception comes back as this side's error.
	const evaluate = async (fn, ...args) => {
		const script = `const done = arguments[arguments.length - 1];
Promise.resolve().then(() => (${fn}).apply(null, arguments[0]))
	.then((value) => done({ value: value === undefined ? null : value }),
		(e) => done({ error: String(e && e.stack ? e + "\\n" + e.stack : e) }));`;
		const result = await run("/execute/async", { script, args: [args] });
		if (result.error) throw new Error(result.error);
		return result.value;
	};
	const keys = (text) => run("/actions", {
		actions: [{
			type: "key", id: "keyboard",
			actions: [...text].flatMap((key) => [{ type: "keyDown", value: key }, { type: "keyUp", value: key }]),
		}],
	});
	return {
		consoleErrors: () => null, // WebDriver classic has no console log
		requests: () => null, // nor a view of the network
		drop: null,
		canChooseFolder: false,
		appManifest: null,
		goto: (url) => run("/url", { url }),
		reload: () => run("/refresh", {}),
		evaluate,
		waitFor: async (fn, args = [], timeout = 30000) => {
			const end = Date.now() + timeout;
			for (;;) {
				const value = await evaluate(fn, ...args);
				if (value) return value;
				if (Date.now() > end) throw new Error(`waiting for ${fn}: timed out after ${timeout} ms`);
				await new Promise((resolve) => setTimeout(resolve, 20));
			}
		},
		addInitScript: () => {
			throw new Error("WebDriver classic runs no script before the page's own");
		},
		// A file field takes one path a line.
		setFiles: async (selector, files) =>
			run(`/element/${await element(selector)}/value`, { text: files.join("\n") }),
		click: async (selector) => run(`/element/${await element(selector)}/click`, {}),
		type: async (selector, text) => run(`/element/${await element(selector)}/value`, { text }),
		press: (key) => keys(KEYS[key] || key),
		keys,
		screenshot: async (file) =>
			fs.writeFileSync(file, Buffer.from(await webdriver(session, "GET", "/screenshot"), "base64")),
		close: async () => {},
	};
}

// Resolves once the download at file has its full size.
export async function waitForFile(file, size, timeout = 120000) {
	const end = Date.now() + timeout;
	for (;;) {
		const got = fs.statSync(file, { throwIfNoEntry: false });
		if (got && got.size === size) return;
		if (Date.now() > end) throw new Error(`${file}: ${got ? got.size : "no file"}, not ${size} bytes`);
		await new Promise((resolve) => setTimeout(resolve, 100));
	}
}
