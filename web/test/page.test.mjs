// The page in Debian's chromium and firefox-esr: one table of files, listed
// and then saved both ways, as a download copy from file:// and in place
// through file handles (files of the origin-private file system behind a
// stand-in showOpenFilePicker) from a server on 127.0.0.1. Every byte the
// browser leaves is compared with what the command-line tool leaves.
//   VARNHOLT_PAGE=build/wasm/varnholt-<version>-web.html node --test test/
//   VARNHOLT_SCREENSHOT=screenshot.png also saves a picture of the page.
import { after, before, describe, test } from "node:test";
import assert from "node:assert/strict";
import fs from "node:fs";
import http from "node:http";
import os from "node:os";
import path from "node:path";
import { pathToFileURL } from "node:url";
import { launch, waitForFile } from "../browsers.mjs";

const pageFile = process.env.VARNHOLT_PAGE;
assert.ok(pageFile && fs.existsSync(pageFile), "VARNHOLT_PAGE must name the built page");

const GiB = 1024 ** 3;
const marked = (size, tracks, main, marker = "KELV") => {
	const bytes = Buffer.alloc(size);
	bytes.write(marker, 38, "latin1");
	if (size > 45) bytes[45] = tracks;
	if (size > 47) bytes[47] = main;
	bytes.fill(0x5a, 48); // something after the main-track byte that must stay
	return bytes;
};
// name, first bytes, size on disk (a sparse tail when larger), what the page
// shows: state, then the track count and main track, signed.
const table = [
	["two.kelv", marked(64, 2, 0), 64, "recording", 2, 0],
	["signed.kelv", marked(64, 0xff, 0x80), 64, "recording", -1, -128],
	["lower.kelv", marked(64, 2, 0, "kelv"), 64, "not-recording"],
	["absent.kelv", Buffer.alloc(64, 7), 64, "not-recording"],
	["empty.kelv", Buffer.alloc(0), 0, "empty"],
	["one.kelv", Buffer.from([0x4b]), 1, "not-recording"],
	["short44.kelv", marked(44, 0, 0), 44, "recording", 0, 0],
	["short47.kelv", marked(47, 5, 0), 47, "recording", 5, 0],
	["huge.kelv", marked(64, 3, 1), 5 * GiB, "recording", 3, 1],
	["full-disk.kelv", marked(64, 4, 2), 64, "recording", 4, 2],
];
// Saved in place, this one's write is refused, as by a full disk: the row
// fails with the browser's reason and the file stays as it was.
const refusedWrite = "full-disk.kelv";
const newTrack = "-3"; // set for every recording at once
const newByte = 0xfd;
const refused = "128"; // tried first on one row: refused, nothing written

// What the command-line tool leaves: byte 47 set, and a marked file shorter
// than 48 bytes grown to 48 with zeros; nothing where the write was refused.
function expected(head, size, state, refused = false) {
	if (state !== "recording" || refused) return { head, size };
	const out = Buffer.alloc(Math.max(head.length, 48));
	head.copy(out);
	out[47] = newByte;
	return { head: out, size: Math.max(size, 48) };
}

const work = fs.mkdtempSync(path.join(os.tmpdir(), "varnholt-web-"));
after(() => fs.rmSync(work, { recursive: true, force: true }));
const files = path.join(work, "files");
fs.mkdirSync(files);
for (const [name, head, size] of table) {
	fs.writeFileSync(path.join(files, name), head);
	if (size > head.length) fs.truncateSync(path.join(files, name), size);
}

// The head and the size of a file, and that a large tail reads as zeros
// (checked at its end, where the copy's last bytes are).
function checkFile(file, name) {
	const [, head, size, state] = table.find((row) => row[0] === name);
	const want = expected(head, size, state);
	const got = fs.statSync(file).size;
	assert.equal(got, want.size, `${name}: size`);
	const fd = fs.openSync(file, "r");
	try {
		const start = Buffer.alloc(want.head.length);
		fs.readSync(fd, start, 0, start.length, 0);
		assert.deepEqual(start, want.head, `${name}: first bytes`);
		if (size > 1024 ** 2) {
			const tail = Buffer.alloc(1024 ** 2);
			fs.readSync(fd, tail, 0, tail.length, size - tail.length);
			assert.ok(tail.every((b) => b === 0), `${name}: the end of the copy`);
		}
	} finally {
		fs.closeSync(fd);
	}
}

// Every request the page makes: the page itself is the only one allowed;
// blob: URLs are the copies it offers from memory.
function watchRequests(page, pageUrl) {
	const seen = [];
	page.on("request", (request) => {
		if (!request.url().startsWith("blob:") && request.url() !== pageUrl) seen.push(request.url());
	});
	return seen;
}

// Lists the table, checks every row, refuses an out-of-range value, then sets
// the new main track for every recording at once.
async function listAndSetAll(page, addFiles) {
	await addFiles();
	await page.waitForFunction(
		(count) => document.querySelectorAll("tr[data-name]").length === count &&
			!document.querySelector("tr[data-state=reading]"),
		{ timeout: 30000 }, table.length);
	const rows = await page.$$eval("tr[data-name]", (trs) => trs.map((tr) =>
		[tr.dataset.name, tr.dataset.state, tr.dataset.tracks ?? null, tr.dataset.main ?? null]));
	assert.deepEqual(new Map(rows.map(([name, ...rest]) => [name, rest])),
		new Map(table.map(([name, , , state, tracks, main]) =>
			[name, [state, tracks === undefined ? null : String(tracks),
				main === undefined ? null : String(main)]])));

	const row = 'tr[data-name="signed.kelv"]';
	await page.type(`${row} input[name=track]`, refused);
	await page.click(`${row} button[name=apply]`);
	assert.deepEqual(await page.$eval(row, (tr) => [tr.dataset.state, tr.dataset.main,
		tr.querySelector(".status").textContent]),
	["recording", "-128", "track_num is out of range, must be from -128 to 127: " + refused]);

	await page.type("input[name=track-all]", newTrack);
	await page.click("button[name=apply-all]");
	await page.waitForFunction(() => document.querySelector("#summary").textContent !== "",
		{ timeout: 300000 });
	return page.$$eval("tr[data-tracks]", (trs) => trs.map((tr) =>
		[tr.dataset.name, tr.dataset.state, tr.dataset.main, tr.querySelector(".status").textContent]));
}

const recordings = table.filter((row) => row[3] === "recording").map((row) => row[0]);

for (const name of ["chromium", "firefox"]) {
	describe(name, () => {
		let browser, downloads;
		before(async () => {
			downloads = fs.mkdtempSync(path.join(work, `${name}-downloads-`));
			browser = await launch(name, path.join(work, `${name}-profile`), downloads);
		});
		after(() => browser?.close());

		test("lists the files and offers patched copies from file://", async () => {
			const page = await browser.newPage();
			const url = pathToFileURL(path.resolve(pageFile)).href;
			const stray = watchRequests(page, url);
			await page.goto(url);
			assert.equal(await page.$eval("input[type=file]", (input) => input.multiple), true);
			const saved = await listAndSetAll(page, async () => {
				const input = await page.$("input[type=file]");
				await input.uploadFile(...table.map(([file]) => path.join(files, file)));
			});
			for (const [file, state, main, status] of saved) {
				assert.equal(state, "offered", `${file}: ${status}`);
				assert.equal(main, "-3");
				assert.doesNotMatch(status, /\bchanged|saved in place/);
			}
			for (const file of recordings) {
				const [, head, size, state] = table.find((row) => row[0] === file);
				await waitForFile(path.join(downloads, file), expected(head, size, state).size);
				checkFile(path.join(downloads, file), file);
				fs.rmSync(path.join(downloads, file));
			}
			// The files chosen stay as they were.
			for (const [file, head, size] of table) {
				const fd = fs.openSync(path.join(files, file), "r");
				const start = Buffer.alloc(head.length);
				fs.readSync(fd, start, 0, start.length, 0);
				fs.closeSync(fd);
				assert.deepEqual([fs.statSync(path.join(files, file)).size, start], [size, head], file);
			}
			if (name === "chromium" && process.env.VARNHOLT_SCREENSHOT) {
				await page.setViewport({ width: 900, height: 700 });
				await page.evaluate(() => window.scrollTo(0, 0));
				await page.screenshot({ path: process.env.VARNHOLT_SCREENSHOT, fullPage: true });
			}
			assert.deepEqual(stray, []);
			await page.close();
		});

		test("saves in place through file handles over http", async (t) => {
			const html = fs.readFileSync(pageFile);
			const served = [];
			const server = http.createServer((request, response) => {
				served.push(request.url);
				if (request.url !== "/") return response.writeHead(404).end();
				response.writeHead(200, { "content-type": "text/html; charset=utf-8" }).end(html);
			});
			await new Promise((resolve) => server.listen(0, "127.0.0.1", resolve));
			t.after(() => server.close());
			const url = `http://127.0.0.1:${server.address().port}/`;
			const page = await browser.newPage();
			const stray = watchRequests(page, url);
			await page.goto(url);
			const writable = await page.evaluate(async () => {
				const dir = await navigator.storage.getDirectory();
				const handle = await dir.getFileHandle("probe", { create: true });
				return "createWritable" in handle;
			});
			if (!writable) {
				t.skip(`${name} gives no writable file handles`);
				return;
			}
			// The table's files into the origin-private file system, each in
			// one write: its first bytes, then a truncate to its size.
			for (const [file, head, size] of table) {
				await page.evaluate(async (file, head, size) => {
					const dir = await navigator.storage.getDirectory();
					const handle = await dir.getFileHandle(file, { create: true });
					const writable = await handle.createWritable();
					await writable.write(Uint8Array.from(atob(head), (c) => c.charCodeAt(0)));
					if (size > head.length) await writable.truncate(size);
					await writable.close();
				}, file, head.toString("base64"), size);
			}
			// The stand-in picker hands over those files, as the real one
			// would hand over the files a person picks; the page is loaded
			// again so that it sees the picker.
			await page.evaluateOnNewDocument((names, refusedWrite) => {
				window.showOpenFilePicker = async () => {
					const dir = await navigator.storage.getDirectory();
					return Promise.all(names.map(async (name) => {
						const handle = await dir.getFileHandle(name);
						if (name !== refusedWrite) return handle;
						return {
							kind: "file", name, getFile: () => handle.getFile(),
							createWritable: async (options) => {
								const writable = await handle.createWritable(options);
								writable.write = async () => {
									throw new DOMException("no room left", "QuotaExceededError");
								};
								return writable;
							},
						};
					}));
				};
			}, table.map(([file]) => file), refusedWrite);
			await page.reload();
			const saved = await listAndSetAll(page, () => page.click("button[name=pick]"));
			for (const [file, state, main, status] of saved) {
				if (file === refusedWrite) {
					assert.deepEqual([state, main], ["failed", "2"], status);
					assert.match(status, /as it was.*QuotaExceededError: no room left/);
					continue;
				}
				assert.equal(state, "saved", `${file}: ${status}`);
				assert.equal(main, "-3");
			}
			for (const [file] of table) {
				const [b64, size] = await page.evaluate(async (file) => {
					const dir = await navigator.storage.getDirectory();
					const got = await (await dir.getFileHandle(file)).getFile();
					const head = new Uint8Array(await got.slice(0, 64).arrayBuffer());
					const tail = new Uint8Array(await got.slice(Math.max(0, got.size - 2 ** 20)).arrayBuffer());
					const zeros = got.size > 2 ** 20 ? tail.every((b) => b === 0) : true;
					await dir.removeEntry(file);
					return [btoa(String.fromCharCode(...head)) + (zeros ? "" : "!"), got.size];
				}, file);
				const [, head, tableSize, state] = table.find((row) => row[0] === file);
				const want = expected(head, tableSize, state, file === refusedWrite);
				assert.equal(size, want.size, `${file}: size`);
				assert.deepEqual(Buffer.from(b64, "base64"), want.head.subarray(0, 64), `${file}: first bytes`);
				assert.ok(!b64.endsWith("!"), `${file}: the end`);
			}
			assert.deepEqual(stray, []);
			assert.deepEqual(served, ["/", "/"]); // the two loads, and nothing else
			await page.close();
		});
	});
}
