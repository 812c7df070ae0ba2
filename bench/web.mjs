// Cost of the web page, against baselines measured in the same run:
//  - 1,000 recordings dropped on the page (headless chromium): the time from
//    the drop until every row is listed, against the browser's own hand-over
//    of the same 1,000 files to a bare file input, and against a bare page
//    that only reads each dropped file's size and first 512 bytes (what the
//    browser needs, whatever the page does with them);
//  - a download copy of a 4 GiB recording: the memory of all the browser's
//    processes while the copy is written, against before it started.
//   npm ci --prefix web && cmake --preset wasm && cmake --build --preset wasm
//   node bench/web.mjs build/wasm/varnholt-<version>-web.html [rounds]
import fs from "node:fs";
import os from "node:os";
import path from "node:path";
import { pathToFileURL } from "node:url";
import { launch, waitForFile } from "../web/browsers.mjs";

const pageFile = process.argv[2];
const rounds = Number(process.argv[3] || 5);
if (!pageFile || !fs.existsSync(pageFile)) {
	console.error("usage: node bench/web.mjs path/to/varnholt-<version>-web.html [rounds]");
	process.exit(2);
}
const work = fs.mkdtempSync(path.join(os.tmpdir(), "varnholt-bench-"));
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
const bare = path.join(work, "bare.html");
fs.writeFileSync(bare, "<!DOCTYPE html><input type=file multiple>");
const reader = path.join(work, "reader.html");
fs.writeFileSync(reader, `<!DOCTYPE html><body style="height:100vh"><script>
document.ondragover = (event) => event.preventDefault();
document.ondrop = async (event) => {
	event.preventDefault();
	const dropped = performance.now();
	const files = [...event.dataTransfer.files];
	let next = 0;
	await Promise.all(Array.from({ length: 16 }, async () => {
		while (next < files.length) {
			const file = files[next++];
			if (file.size >= 0) await file.slice(0, 512).arrayBuffer();
		}
	}));
	window.done(performance.now() - dropped);
};
window.read = new Promise((resolve) => { window.done = resolve; });
</script>`);
const median = (values) => values.slice().sort((a, b) => a - b)[Math.floor(values.length / 2)];

const downloads = path.join(work, "downloads");
fs.mkdirSync(downloads);
const browser = await launch("chromium", path.join(work, "profile"), downloads);
const page = await browser.newPage();

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
async function drop() {
	const client = await page.createCDPSession();
	const data = { items: [], files: many, dragOperationsMask: 1 };
	for (const type of ["dragEnter", "dragOver", "drop"])
		await client.send("Input.dispatchDragEvent", { type, x: 200, y: 200, data });
	await client.detach();
}

async function dropOnReader() {
	await page.goto(pathToFileURL(reader).href);
	await drop();
	return page.evaluate(() => window.read);
}

async function dropOnPage() {
	await page.goto(pathToFileURL(path.resolve(pageFile)).href);
	await page.evaluate(() => {
		window.listed = new Promise((resolve) => {
			window.addEventListener("drop", () => {
				const dropped = performance.now();
				const check = () => {
					const rows = document.querySelectorAll("tr[data-name]").length;
					if (rows === 1000 && !document.querySelector("tr[data-state=reading]"))
						resolve(performance.now() - dropped);
					else
						setTimeout(check, 5);
				};
				check();
			}, { capture: true });
		});
	});
	await drop();
	const listed = await page.evaluate(() => window.listed);
	const states = await page.$$eval("tr[data-state=recording]", (rows) => rows.length);
	if (states !== 1000) throw new Error(`${states} of 1000 rows are recordings`);
	return listed;
}

const handOvers = [], reads = [], listings = [];
for (let i = 0; i < rounds; i++) {
	handOvers.push(await handOver());
	reads.push(await dropOnReader());
	listings.push(await dropOnPage());
}
console.log(`1,000 files, ${rounds} rounds, medians (ms):`);
console.log(`  hand-over to a bare file input:      ${median(handOvers).toFixed(0)}  (${handOvers.map((t) => t.toFixed(0)).join(" ")})`);
console.log(`  drop on a bare page that reads them:  ${median(reads).toFixed(0)}  (${reads.map((t) => t.toFixed(0)).join(" ")})`);
console.log(`  drop on the page until all listed:   ${median(listings).toFixed(0)}  (${listings.map((t) => t.toFixed(0)).join(" ")})`);
const ratios = listings.map((t, i) => t / reads[i]);
console.log(`  page / bare reading page, per round: ${median(ratios).toFixed(2)}  (${ratios.map((r) => r.toFixed(2)).join(" ")})`);

// Resident memory of the browser and every process under it, in MiB.
function browserMemory(root) {
	const children = new Map();
	for (const pid of fs.readdirSync("/proc").filter((name) => /^\d+$/.test(name))) {
		try {
			const stat = fs.readFileSync(`/proc/${pid}/stat`, "utf8");
			const parent = stat.slice(stat.lastIndexOf(")") + 2).split(" ")[1];
			children.set(parent, [...(children.get(parent) || []), pid]);
		} catch {
			// gone meanwhile
		}
	}
	let kib = 0;
	for (const pending = [String(root)]; pending.length;) {
		const pid = pending.pop();
		try {
			kib += Number(/VmRSS:\s+(\d+)/.exec(fs.readFileSync(`/proc/${pid}/status`, "utf8"))?.[1] || 0);
		} catch {
			// gone meanwhile
		}
		pending.push(...(children.get(pid) || []));
	}
	return kib / 1024;
}

const big = path.join(work, "big.kelv");
fs.writeFileSync(big, head);
fs.truncateSync(big, 4 * 1024 ** 3);
await page.goto(pathToFileURL(path.resolve(pageFile)).href);
await (await page.$("input[type=file]")).uploadFile(big);
await page.waitForSelector("tr[data-state=recording]");
const root = browser.process().pid;
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
