// Starts Debian's chromium or firefox-esr headless for the page's tests and
// its benchmark: a fresh profile, nothing fetched in the background, and
// downloads saved without asking into one folder.
import fs from "node:fs";
import puppeteer from "puppeteer-core";

export async function launch(name, profile, downloads) {
	fs.mkdirSync(profile, { recursive: true });
	if (name === "chromium") {
		return puppeteer.launch({
			browser: "chrome",
			executablePath: process.env.CHROMIUM || "/usr/bin/chromium",
			headless: true,
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
		userDataDir: profile,
		extraPrefsFirefox: {
			"browser.download.folderList": 2,
			"browser.download.dir": downloads,
			"browser.download.useDownloadDir": true,
			"browser.download.always_ask_before_handling_new_types": false,
			"browser.helperApps.neverAsk.saveToDisk": "application/octet-stream",
			"browser.download.enable_spam_prevention": false,
			"browser.download.start_downloads_in_tmp_dir": false,
		},
	});
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
