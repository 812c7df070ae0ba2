// Cost of the web page, against baselines measured in the same run, in
// headless chromium:
//  - 1,000 recordings dropped on the page: the time from the drop until every
//    row is listed, against the browser's own hand-over of the same 1,000
//    files to a bare file input, and against a bare page that only reads each
//    dropped file's size and first 512 bytes (what the browser needs,
//    whatever the page does with them);
//  - the same 1,000 chosen in the page's file field, from its change event
//    until every row is listed, against a bare page that reads each chosen
//    file's size and first 512 bytes;
//  - a card, a tree of 1,000 recordings in 20 folders and 1,000 other small
//    files, dropped as one folder, against a bare page that walks the same
//    tree (through the folder's handle, as the page does in Chromium) and
//    reads each file's size and first 512 bytes;
//  - a download copy of a 4 GiB recording: the memory of all the browser's
//    processes while the copy is written, against before it started.
//   npm ci --prefix web && cmake --preset wasm && cmake --build --preset wasm
//   node bench/web.mjs build/wasm/varnholt-<version>-web.html [rounds]
import fs from "node:fs";
import os from "node:os";
import path from "node:path";
import { pathToFileURL } from "node:url";
import { launch, waitForFile } from "../web/browsers.mjs";
import { line, processTree, procField } from "./measure.mjs";

const pageFile = process.argv[2];
const rounds = Number(process.argv[3] || 5);
if (!pageFile || !fs.existsSync(pageFile)) {
	console.error("usage: node bench/web.mjs path/to/varnholt-<version>-web.html [rounds]");
	process.exit(2);
}
const work = fs.mkdtempSync(path.join(os.tmpdir(), "web-bench-"));
process.on("exit", () => fs.rmSync(work, { recursive: true, force: true }));

const head = Buffer.alloc(64);
head.write("KELV", 38, "latin1");
head[45] = 2;
const many = [];
fs.mkdirSync(path.join(work, "many"));
for (let i = 0; i < 1000; i++) {
	many.push(path.join(work, "many", `rec${String(i).padStart(4, "0")}.kelv`));
	fs.writeFileSync(many.at(-1), head);
	fs.truncateSync(many.at(-1), 1024 ** 2); // larger than what is read, sparse
}
// The card: CARD/000 to CARD/019, each with 50 recordings and 50 thumbnails.
const tree = path.join(work, "CARD");
for (let folder = 0; folder < 20; folder++) {
	const dir = path.join(tree, String(folder).padStart(3, "0"));
	fs.mkdirSync(dir, { recursive: true });
	for (let i = 0; i < 50; i++) {
		const clip = path.join(dir, `CLIP${String(i).padStart(4, "0")}.kelv`);
		fs.writeFileSync(clip, head);
		fs.truncateSync(clip, 1024 ** 2);
		fs.writeFileSync(path.join(dir, `CLIP${String(i).padStart(4, "0")}.thm`), Buffer.alloc(2048, 0xff));
	}
}
const bare = path.join(work, "bare.html");
fs.writeFileSync(bare, "<!DOCTYPE html><input type=file multiple>");
// The least any page must do for each file: its size and first bytes,
// sixteen files at a time.
const readAll = `async function readAll(files) {
	let next = 0;
	await Promise.all(Array.from({ length: 16 }, async () => {
		while (next < files.length) {
			const file = files[next++];
			if (file.size >= 0) await file.slice(0, 512).arrayBuffer();
		}
	}));
}`;
const reader = path.join(work, "reader.html");
fs.writeFileSync(reader, `<!DOCTYPE html><body style="height:100vh"><script>${readAll}
document.ondragover = (event) => event.preventDefault();
document.ondrop = async (event) => {
	event.preventDefault();
	const dropped = performance.now();
	await readAll([...event.dataTransfer.files]);
	window.done(performance.now() - dropped);
};
window.read = new Promise((resolve) => { window.done = resolve; });
</script>`);
// The same for chosen files.
const chosenReader = path.join(work, "chosen.html");
fs.writeFileSync(chosenReader, `<!DOCTYPE html><input type=file multiple><script>${readAll}
document.querySelector("input").onchange = async (event) => {
	const chosen = performance.now();
	await readAll([...event.target.files]);
	window.done(performance.now() - chosen);
};
window.read = new Promise((resolve) => { window.done = resolve; });
</script>`);
// And for a dropped folder: walk it through its handle (in Chromium, entries
// cannot be read in a page opened from the disk), every folder at once,
// reading each file's size and first bytes sixteen at a time.
const treeReader = path.join(work, "tree.html");
fs.writeFileSync(treeReader, `<!DOCTYPE html><body style="height:100vh"><script>
document.ondragover = (event) => event.preventDefault();
document.ondrop = async (event) => {
	event.preventDefault();
	const dropped = performance.now();
	const handles = [...event.dataTransfer.items].map((item) => item.getAsFileSystemHandle());
	const files = [];
	let next = 0, walking = true, count = 0;
	const walk = async (handle) => {
		if (handle.kind === "file") return files.push(handle);
		const inner = [];
		for await (const child of handle.values()) inner.push(child);
		await Promise.all(inner.map(walk));
	};
	const walked = Promise.all(handles.map(async (handle) => walk(await handle))).then(() => { walking = false; });
	await Promise.all(Array.from({ length: 16 }, async () => {
		while (walking || next < files.length) {
			if (next === files.length) { await new Promise((ok) => setTimeout(ok, 1)); continue; }
			const file = await files[next++].getFile();
			if (file.size >= 0) await file.slice(0, 512).arrayBuffer();
			count++;
		}
	}));
	await walked;
	window.done([performance.now() - dropped, count]);
};
window.read = new Promise((resolve) => { window.done = resolve; });
</script>`);

const downloads = path.join(work, "downloads");
fs.mkdirSync(downloads);
const browser = await launch("chromium", { profile: path.join(work, "profile"), downloads });
const chromium = browser.puppeteer;
const page = await chromium.newPage();

// The hand-over: from the call until the bare input's change event.
async function handOver() {
	await page.goto(pathToFileURL(bare).href);
	await page.evaluate(() => {
		window.changed = new Promise((resolve) =>
			document.querySelector("input").addEventListener("change", () => resolve(Date.now())));
	});
	const input = await page.$("input");
	const start = Date.now();
	await input.uploadFile(...many);
	return (await page.evaluate(() => window.changed)) - start;
}

// The page: a drop of the 1,000 files, timed from the drop event until no
// row is reading any more.
async function drop(files = many) {
	const client = await page.createCDPSession();
	const data = { items: [], files, dragOperationsMask: 1 };
	for (const type of ["dragEnter", "dragOver", "drop"])
		await client.send("Input.dispatchDragEvent", { type, x: 200, y: 200, data });
	await client.detach();
}

async function dropOnReader() {
	await page.goto(pathToFileURL(reader).href);
	await drop();
	return page.evaluate(() => window.read);
}

// The page, timed from the drop or the field's change event until count rows
// are listed and none is still being read, of which recordings are
// recordings.
async function onPage(event, start, count, recordings) {
	await page.goto(pathToFileURL(path.resolve(pageFile)).href);
	await page.evaluate((event, count) => {
		// Checked after each change of the rows, rather than polled, which
		// would cost the page the time of its own checks.
		window.listed = new Promise((resolve) => {
			window.addEventListener(event, () => {
				const started = performance.now();
				const check = () => {
					const rows = document.querySelectorAll("tr[data-name]").length;
					if (rows !== count || document.querySelector("tr[data-state=reading]")) return;
					observer.disconnect();
					resolve(performance.now() - started);
				};
				const observer = new MutationObserver(check);
				observer.observe(document.querySelector("tbody"),
					{ subtree: true, childList: true, attributes: true, attributeFilter: ["data-state"] });
			}, { capture: true });
		});
	}, event, count);
	await start();
	const listed = await page.evaluate(() => window.listed);
	const states = await page.$$eval("tr[data-state=recording]", (rows) => rows.length);
	if (states !== recordings) throw new Error(`${states} of ${recordings} rows are recordings`);
	return listed;
}

async function chooseOnReader() {
	await page.goto(pathToFileURL(chosenReader).href);
	await (await page.$("input")).uploadFile(...many);
	return page.evaluate(() => window.read);
}

async function dropTreeOnReader() {
	await page.goto(pathToFileURL(treeReader).href);
	await drop([tree]);
	const [time, count] = await page.evaluate(() => window.read);
	if (count !== 2000) throw new Error(`the bare page read ${count} of 2000 files`);
	return time;
}

const dropOnPage = () => onPage("drop", () => drop(), 1000, 1000);
const chooseOnPage = () => onPage("change", async () =>
	(await page.$("input[name=files]")).uploadFile(...many), 1000, 1000);
const dropTreeOnPage = () => onPage("drop", () => drop([tree]), 2000, 1000);

const times = { handOvers: [], reads: [], listings: [], chosenReads: [], chosenListings: [], treeReads: [], treeListings: [] };
for (let i = 0; i < rounds; i++) {
	times.handOvers.push(await handOver());
	times.reads.push(await dropOnReader());
	times.listings.push(await dropOnPage());
	times.chosenReads.push(await chooseOnReader());
	times.chosenListings.push(await chooseOnPage());
	times.treeReads.push(await dropTreeOnReader());
	times.treeListings.push(await dropTreeOnPage());
}
const ratios = (page, bare) => page.map((t, i) => t / bare[i]);
console.log(`${rounds} rounds, medians (ms; ratios per round); load average before: ${os.loadavg().map((l) => l.toFixed(1)).join(" ")}`);
line("1,000 files: hand-over to a bare file input", times.handOvers);
line("1,000 dropped: bare page that reads them", times.reads);
line("1,000 dropped: the page until all listed", times.listings);
line("1,000 dropped: page / bare page", ratios(times.listings, times.reads), 2);
line("1,000 chosen: bare page that reads them", times.chosenReads);
line("1,000 chosen: the page until all listed", times.chosenListings);
line("1,000 chosen: page / bare page (goal <= 1.3)", ratios(times.chosenListings, times.chosenReads), 2);
line("card of 2,000 files: bare page that walks and reads", times.treeReads);
line("card of 2,000 files: the page until all listed", times.treeListings);
line("card of 2,000 files: page / bare page (goal <= 1.5)", ratios(times.treeListings, times.treeReads), 2);

// Resident memory of the browser and every process under it, in MiB.
const browserMemory = (root) => processTree(root).reduce((kib, pid) => kib + procField(pid, "status", "VmRSS"), 0) / 1024;

const big = path.join(work, "big.kelv");
fs.writeFileSync(big, head);
fs.truncateSync(big, 4 * 1024 ** 3);
await page.goto(pathToFileURL(path.resolve(pageFile)).href);
await (await page.$("input[type=file]")).uploadFile(big);
await page.waitForSelector("tr[data-state=recording]");
const root = browser.pid;
const before = browserMemory(root);
let peak = before;
const sampler = setInterval(() => { peak = Math.max(peak, browserMemory(root)); }, 100);
const started = Date.now();
await page.type("input[name=track]", "1");
await page.click("button[name=apply]");
await waitForFile(path.join(downloads, "big.kelv"), 4 * 1024 ** 3, 600000);
clearInterval(sampler);
const seconds = (Date.now() - started) / 1000;
const afterwards = browserMemory(root);
console.log(`4 GiB download copy: ${seconds.toFixed(1)} s; browser memory (all processes, MiB): ` +
	`before ${before.toFixed(0)}, peak ${peak.toFixed(0)} (+${(peak - before).toFixed(0)}), after ${afterwards.toFixed(0)}`);
await browser.close();
