// The page in Debian's chromium, firefox-esr and WebKit (MiniBrowser), one
// engine a run (VARNHOLT_BROWSER, else all three), written once against
// web/browsers.mjs:
//  - one table of files, listed from file:// and saved as download copies,
//    compared byte for byte with what the command-line tool leaves;
//  - over http from 127.0.0.1, a row saved by keyboard alone, and nothing
//    asked of the server but the page: no icon, and no report of anything the
//    page's policy blocked (the server sends the same policy again as a
//    header that only reports);
//  - a folder tree from file:// (dropped from the disk where the driver can,
//    else through the entries of a stand-in drop around the same files):
//    paths, a folder that cannot be read, only the recordings shown, copies
//    of same-named files each kept;
//  - saving in place through file handles (files of the origin-private file
//    system behind stand-in pickers), where the engine has them, with every
//    state of a row on the page at once checked by axe-core.
// In each, a refusal reads as a refusal whatever the row did before, errors
// and policy violations are caught in the page (and from the console where
// the driver reads it), and each row control is under the pointer as soon as
// it is shown.
//   VARNHOLT_PAGE=build/wasm/varnholt-<version>-web.html VARNHOLT_BROWSER=webkit node --test test/
//   VARNHOLT_SCREENSHOT=screenshot.png also saves a picture of the page (chromium).
import { after, before, describe, test } from "node:test";
import assert from "node:assert/strict";
import fs from "node:fs";
import http from "node:http";
import { createRequire } from "node:module";
import os from "node:os";
import path from "node:path";
import { pathToFileURL } from "node:url";
import { engines, launch, waitForFile } from "../browsers.mjs";

const pageFile = process.env.VARNHOLT_PAGE;
assert.ok(pageFile && fs.existsSync(pageFile), "VARNHOLT_PAGE must name the built page");
const chosen = process.env.VARNHOLT_BROWSER ? process.env.VARNHOLT_BROWSER.split(",") : engines;
const axeSource = fs.readFileSync(createRequire(import.meta.url).resolve("axe-core/axe.min.js"), "utf8");

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
// A card: path, bytes, state, track count, main track. Two recordings share
// a name in two folders; the others are what a card holds besides.
const card = [
	["CARD/100/CLIP0001.kelv", marked(64, 2, 0), "recording", 2, 0],
	["CARD/100/CLIP0001.thm", Buffer.alloc(40, 0xff), "not-recording"],
	["CARD/101/CLIP0001.kelv", marked(60, 3, 1), "recording", 3, 1],
	["CARD/101/deep/CLIP0002.kelv", marked(47, 4, 0), "recording", 4, 0],
	["CARD/EMPTY.kelv", Buffer.alloc(0), "empty"],
	["CARD/notes.txt", Buffer.from("notes\n"), "not-recording"],
];
// A folder that cannot be read (a card's system folder), where a stand-in
// gives it: one row with the browser's reason.
const unreadable = "CARD/SYSTEM";
// Saved in place, this one's write is refused, as by a full disk: the row
// fails with the browser's reason and the file stays as it was.
const refusedWrite = "full-disk.kelv";
const newTrack = "-3"; // set for every recording at once
const newByte = 0xfd;
const refused = "128"; // refused, nothing written
const refusal = "track_num is out of range, must be from -128 to 127: ";

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
for (const [file, bytes] of card) {
	fs.mkdirSync(path.join(work, path.dirname(file)), { recursive: true });
	fs.writeFileSync(path.join(work, file), bytes);
}
const spare = path.join(work, "spare.kelv"); // listed late, left as it is
const copy = path.join(work, "copy.kelv"); // saved late, as a download
fs.writeFileSync(spare, marked(64, 2, 1));
fs.writeFileSync(copy, marked(64, 2, 1));

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

// The page over http from 127.0.0.1, and every request made of the server.
// The page is sent with its own policy once more, as a header that only
// reports: what the policy blocks, even while the page loads, comes back to
// the server as a report, in every engine.
async function serve(t) {
	const html = fs.readFileSync(pageFile);
	const policy = /http-equiv="Content-Security-Policy" content="([^"]*)"/.exec(html)[1];
	const served = [];
	const server = http.createServer((request, response) => {
		let body = "";
		request.on("data", (data) => { body += data; });
		request.on("end", () => {
			served.push(`${request.method} ${request.url}${body ? " " + body : ""}`);
			if (request.url !== "/") return response.writeHead(404).end();
			response.writeHead(200, {
				"content-type": "text/html; charset=utf-8",
				"content-security-policy-report-only": policy + "; report-uri /policy-report",
			}).end(html);
		});
	});
	await new Promise((resolve) => server.listen(0, "127.0.0.1", resolve));
	t.after(() => server.close());
	return { url: `http://127.0.0.1:${server.address().port}/`, served };
}

// Errors and policy violations in the page from now on, and whether each row
// control that appears on screen can be reached by a tap or a click on it at
// once (a control that the browser takes for still off screen is hit through
// to its row).
function watch(page) {
	return page.evaluate(() => {
		window.faults = [];
		window.addEventListener("error", (e) => window.faults.push("error: " +
			(e.message || (e.target && (e.target.src || e.target.href || e.target.localName)))), true);
		window.addEventListener("unhandledrejection", (e) => window.faults.push("rejection: " + e.reason));
		document.addEventListener("securitypolicyviolation", (e) =>
			window.faults.push(`policy: ${e.violatedDirective} ${e.blockedURI}`));
		window.unusable = [];
		new MutationObserver((records) => {
			for (const record of records) {
				for (const node of record.addedNodes) {
					if (node.name !== "track" && node.name !== "apply") continue;
					const box = node.getBoundingClientRect();
					if (box.bottom <= 0 || box.top >= innerHeight || !box.width) continue;
					const hit = document.elementFromPoint(box.x + box.width / 2, box.y + box.height / 2);
					const row = node.closest("tr").dataset;
					if (hit !== node) window.unusable.push(`${row.path ?? row.name} ${node.name}: ${hit && hit.localName}`);
				}
			}
		}).observe(document.querySelector("#rows"), { subtree: true, childList: true });
	});
}

async function checkFaults(page) {
	assert.deepEqual(await page.evaluate(() => [window.faults, window.unusable]), [[], []]);
	assert.deepEqual(page.consoleErrors() ?? [], []);
}

// Waits until count rows are listed and none is still being read (but those
// named in left).
const listed = (page, count, left = []) => page.waitFor((count, left) =>
	document.querySelectorAll("tr[data-name]").length === count &&
	[...document.querySelectorAll("tr[data-state=reading]")].every((tr) => left.includes(tr.dataset.path)),
[count, left]);

const rowsOf = (page) => page.evaluate(() => [...document.querySelectorAll("tr[data-name]")].map((tr) =>
	[tr.dataset.path, [tr.dataset.name, tr.cells[0].textContent, tr.dataset.state,
		tr.dataset.tracks ?? null, tr.dataset.main ?? null]]));
// A row as rowsOf gives it: the file's own name, the path shown, the state,
// the track count and main track.
const want = (file, state, tracks, main) => [path.basename(file), file, state,
	tracks === undefined ? null : String(tracks), main === undefined ? null : String(main)];

// The row of a path, or of a file chosen on its own, by its name (as since
// 1.2.0).
const rowOf = (name) => (name.includes("/") ? `tr[data-path="${name}"]` : `tr[data-name="${name}"]`);

// The row's field emptied, then text typed and the row's button clicked.
async function setRow(page, name, text) {
	const row = rowOf(name);
	await page.evaluate((row) => { document.querySelector(`${row} input[name=track]`).value = ""; }, row);
	await page.type(`${row} input[name=track]`, text);
	await page.click(`${row} button[name=apply]`);
}

// A refusal in a row: the tool's text, in the colour of a refusal whatever
// the row did before, and the row's state as it was.
async function checkRefusal(page, name, state) {
	await setRow(page, name, refused);
	const [got, colour, goodColour] = await page.evaluate((row) => {
		const tr = document.querySelector(row);
		const status = tr.querySelector(".status");
		const good = document.createElement("tr");
		good.dataset.state = "saved";
		good.innerHTML = "<td class=status>x</td>";
		document.querySelector("#rows").append(good);
		const colours = [getComputedStyle(status).color, getComputedStyle(good.cells[0]).color];
		good.remove();
		return [[tr.dataset.state, status.textContent, status.classList.contains("refused")],
			colours[0] === getComputedStyle(document.querySelector("#all-status")).color, colours[1]];
	}, rowOf(name));
	assert.deepEqual(got, [state, refusal + refused, true], name);
	assert.ok(colour, `${name}: a refusal in the colour of a refusal, not ${goodColour}`);
}

async function setAll(page, summary) {
	await page.evaluate(() => { document.querySelector("input[name=track-all]").value = ""; });
	await page.type("input[name=track-all]", newTrack);
	await page.click("button[name=apply-all]");
	const got = await page.waitFor(() => document.querySelector("#summary").textContent, [], 300000);
	assert.equal(got, summary);
}

// A drop of a folder where the driver gives no real one: the same files from
// the disk, chosen through a field of the test's own, handed over as the
// entries of the folder a real drop gives, with one subfolder that cannot be
// read.
async function standInDrop(page, folder) {
	const paths = card.map(([file]) => file);
	await page.evaluate(() => {
		const input = document.createElement("input");
		input.type = "file";
		input.multiple = true;
		input.id = "stand-in";
		input.hidden = true;
		document.body.append(input);
	});
	await page.setFiles("#stand-in", paths.map((file) => path.join(folder, file)));
	await page.evaluate((paths, unreadable) => {
		const chosen = [...document.querySelector("#stand-in").files];
		const later = (fn) => setTimeout(fn, 0);
		const folder = (fullPath) => {
			const children = new Map();
			return {
				name: fullPath.split("/").at(-1), fullPath, isFile: false, isDirectory: true, children,
				createReader: () => {
					let done = false;
					return {
						readEntries: (ok, fail) => later(() => {
							if (fullPath === unreadable) fail(new DOMException("the folder cannot be read", "NotReadableError"));
							else ok(done ? [] : (done = true, [...children.values()]));
						}),
					};
				},
			};
		};
		const root = folder(paths[0].split("/")[0]);
		const folderOf = (parts) => parts.reduce((at, part) => {
			if (!at.children.has(part)) at.children.set(part, folder(at.fullPath + "/" + part));
			return at.children.get(part);
		}, root);
		paths.forEach((file, i) => {
			const parts = file.split("/").slice(1);
			folderOf(parts.slice(0, -1)).children.set(parts.at(-1), {
				name: parts.at(-1), fullPath: file, isFile: true, isDirectory: false,
				file: (ok) => later(() => ok(chosen[i])),
			});
		});
		folderOf(unreadable.split("/").slice(1));
		const drop = new Event("drop", { bubbles: true, cancelable: true });
		const item = { kind: "file", getAsFile: () => null, webkitGetAsEntry: () => root };
		Object.defineProperty(drop, "dataTransfer", { value: { items: [item], files: [] } });
		document.dispatchEvent(drop);
	}, paths, unreadable);
}

const recordings = table.filter((row) => row[3] === "recording").map((row) => row[0]);
const cardRecordings = card.filter((row) => row[2] === "recording");

for (const name of chosen) {
	describe(name, () => {
		let browser, downloads;
		before(async () => {
			downloads = fs.mkdtempSync(path.join(work, `${name}-downloads-`));
			browser = await launch(name, { profile: path.join(work, `${name}-profile`), downloads });
		});
		after(() => browser?.close());

		test("lists the files and offers patched copies from file://", async () => {
			const page = await browser.newPage();
			const url = pathToFileURL(path.resolve(pageFile)).href;
			await page.goto(url);
			await watch(page);
			assert.equal(await page.evaluate(() => document.querySelector("input[name=files]").multiple), true);
			await page.setFiles("input[name=files]", table.map(([file]) => path.join(files, file)));
			await listed(page, table.length);
			assert.deepEqual(new Map(await rowsOf(page)), new Map(table.map(([file, , , ...shown]) =>
				[file, want(file, ...shown)])));

			await checkRefusal(page, "signed.kelv", "recording");
			await page.evaluate(() => { document.querySelector('tr[data-name="signed.kelv"] input').value = ""; });
			await setAll(page, `Saved in place: 0. Offered as download copies: ${recordings.length}. Failed: 0.`);
			const saved = await page.evaluate(() => [...document.querySelectorAll("tr[data-tracks]")].map((tr) =>
				[tr.dataset.name, tr.dataset.state, tr.dataset.main, tr.querySelector(".status").textContent]));
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
			// A refusal after a copy was offered still reads as a refusal.
			await checkRefusal(page, "two.kelv", "offered");
			await checkFaults(page);
			assert.deepEqual((page.requests() ?? []).filter((r) => r !== url && !/^(blob|data):/.test(r)), []);
			await page.close();
		});

		test("over http asks nothing of the server but the page, and saves a row by keyboard alone", async (t) => {
			const { url, served } = await serve(t);
			const page = await browser.newPage();
			await page.goto(url);
			await watch(page);
			await page.setFiles("input[name=files]", [copy]);
			await listed(page, 1);
			// Tab from the top of the page to the row's field, type the new
			// track, Enter: the row is saved (as a copy: a chosen file).
			await page.evaluate(() => document.activeElement?.blur());
			let focus;
			for (let tabs = 0; tabs < 30 && focus !== "track"; tabs++) {
				await page.press("Tab");
				focus = await page.evaluate(() => document.activeElement.name);
			}
			assert.equal(focus, "track");
			await page.keys(newTrack);
			await page.press("Enter");
			await page.waitFor(() => document.querySelector('tr[data-name="copy.kelv"]').dataset.state === "offered");
			await waitForFile(path.join(downloads, "copy.kelv"), 64);
			const bytes = marked(64, 2, 1);
			bytes[47] = newByte;
			assert.deepEqual(fs.readFileSync(path.join(downloads, "copy.kelv")), bytes);
			fs.rmSync(path.join(downloads, "copy.kelv"));
			// A refusal after a copy was offered still reads as a refusal.
			await checkRefusal(page, "copy.kelv", "offered");
			await checkFaults(page);
			// The page, and no icon, no report of anything its policy blocked.
			assert.deepEqual(served, ["GET /"]);
			await page.close();
		});

		test("lists a folder by its paths, shows only its recordings if asked and offers their copies from file://", async (t) => {
			const page = await browser.newPage();
			await page.goto(pathToFileURL(path.resolve(pageFile)).href);
			await watch(page);
			// Where a drop gives handles, saving in place would ask leave to
			// write, which no one answers here: the copies are asked for.
			if (await page.evaluate(() => "getAsFileSystemHandle" in DataTransferItem.prototype))
				await page.click("input[name=copies]");
			const rows = card.map(([file, , ...shown]) => [file, want(file, ...shown)]);
			if (page.drop) {
				await page.drop([path.join(work, "CARD")]);
			} else {
				await standInDrop(page, work);
				rows.push([unreadable, [path.basename(unreadable), unreadable, "unreadable", null, null]]);
			}
			await listed(page, rows.length);
			assert.deepEqual(new Map(await rowsOf(page)), new Map(rows));
			if (!page.drop) {
				assert.match(await page.evaluate((path) =>
					document.querySelector(`tr[data-path="${path}"] .status`).textContent, unreadable),
				/^cannot be read \(NotReadableError: the folder cannot be read\)$/);
			}

			// Only the recordings, then all again: the rows stay in the table.
			const shown = () => page.evaluate(() => [...document.querySelectorAll("tr[data-name]")]
				.filter((tr) => tr.getClientRects().length > 0).map((tr) => tr.dataset.path).sort());
			await page.click("input[name=only-recordings]");
			assert.deepEqual(await shown(), rows.filter(([, [, , state]]) => !/^(not-recording|empty)$/.test(state))
				.map(([file]) => file).sort());
			await page.click("input[name=only-recordings]");
			assert.deepEqual(await shown(), rows.map(([file]) => file).sort());

			await setAll(page, `Saved in place: 0. Offered as download copies: ${cardRecordings.length}. Failed: 0.`);
			// Each copy named by its path, so that same-named files in two
			// folders are two copies.
			for (const [file, bytes] of cardRecordings) {
				const copy = path.join(downloads, file.split("/").join("_"));
				const want = expected(bytes, bytes.length, "recording");
				await waitForFile(copy, want.size);
				assert.deepEqual(fs.readFileSync(copy), want.head, file);
				fs.rmSync(copy);
			}

			if (name === "chromium" && process.env.VARNHOLT_SCREENSHOT)
				await page.screenshot(process.env.VARNHOLT_SCREENSHOT, 900, 700);
			await checkFaults(page);

			// A folder chosen in the folder field, where the driver can
			// choose one: the same paths.
			if (page.canChooseFolder) {
				await page.reload();
				await page.setFiles("input[name=folder]", [path.join(work, "CARD")]);
				await listed(page, card.length);
				assert.deepEqual(new Map(await rowsOf(page)), new Map(rows.filter(([file]) => file !== unreadable)));
			} else {
				t.diagnostic(`${name}'s driver cannot choose a folder for the folder field`);
			}
			await page.close();
		});

		test("saves in place through file handles over http, every state of a row passing axe", async (t) => {
			const { url, served } = await serve(t);
			const page = await browser.newPage();
			await page.goto(url);
			const writable = await page.evaluate(async () => {
				if (!navigator.storage || !navigator.storage.getDirectory) return false;
				const dir = await navigator.storage.getDirectory();
				const handle = await dir.getFileHandle("probe", { create: true });
				return "createWritable" in handle;
			});
			if (!writable) {
				t.skip(`${name} gives no writable file handles`);
				return;
			}
			// The table's files and the card into the origin-private file
			// system, each in one write: its first bytes, then a truncate to
			// its size.
			const put = [...table.map(([file, head, size]) => [file, head, size]),
				...card.map(([file, bytes]) => [file, bytes, bytes.length])];
			for (const [file, head, size] of put) {
				await page.evaluate(async (file, head, size) => {
					let dir = await navigator.storage.getDirectory();
					const parts = file.split("/");
					for (const part of parts.slice(0, -1)) dir = await dir.getDirectoryHandle(part, { create: true });
					const handle = await dir.getFileHandle(parts.at(-1), { create: true });
					const writable = await handle.createWritable();
					await writable.write(Uint8Array.from(atob(head), (c) => c.charCodeAt(0)));
					if (size > head.length) await writable.truncate(size);
					await writable.close();
				}, file, head.toString("base64"), size);
			}
			// The stand-in pickers hand over those files and that folder,
			// as the real ones would hand over what a person picks; the page
			// is loaded again so that it sees them. One more file is never
			// read to its end, and one subfolder of the card cannot be read.
			await page.addInitScript((names, refusedWrite, unreadable) => {
				window.showOpenFilePicker = async () => {
					const dir = await navigator.storage.getDirectory();
					const handles = await Promise.all(names.map(async (name) => {
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
					return [...handles, { kind: "file", name: "slow.kelv", getFile: () => new Promise(() => {}) }];
				};
				window.showDirectoryPicker = async (options) => {
					if (options?.mode !== "readwrite") throw new DOMException("asked to read only", "TypeError");
					const card = await (await navigator.storage.getDirectory()).getDirectoryHandle("CARD");
					return {
						kind: "directory", name: card.name,
						values: async function* () {
							for await (const handle of card.values()) yield handle;
							yield {
								kind: "directory", name: unreadable.split("/").at(-1),
								values: () => ({
									[Symbol.asyncIterator]() { return this; },
									next: () => Promise.reject(new DOMException("the folder cannot be read", "NotReadableError")),
								}),
							};
						},
					};
				};
			}, table.map(([file]) => file), refusedWrite, unreadable);
			await page.reload();
			await watch(page);
			await page.click("button[name=pick]");
			await listed(page, table.length + 1, ["slow.kelv"]);
			await page.click("button[name=pick-folder]");
			await listed(page, table.length + 1 + card.length + 1, ["slow.kelv"]);
			const rows = new Map(await rowsOf(page));
			for (const [file, , state, tracks, main] of card)
				assert.deepEqual(rows.get(file), want(file, state, tracks, main), file);
			assert.deepEqual(rows.get(unreadable), [path.basename(unreadable), unreadable, "unreadable", null, null]);

			await checkRefusal(page, "signed.kelv", "recording");
			await page.evaluate(() => { document.querySelector('tr[data-name="signed.kelv"] input').value = ""; });
			await setAll(page, `Saved in place: ${recordings.length - 1 + cardRecordings.length}. ` +
				"Offered as download copies: 0. Failed: 1.");
			const saved = await page.evaluate(() => [...document.querySelectorAll("tr[data-tracks]")].map((tr) =>
				[tr.dataset.path, tr.dataset.state, tr.dataset.main, tr.querySelector(".status").textContent]));
			for (const [file, state, main, status] of saved) {
				if (file === refusedWrite) {
					assert.deepEqual([state, main], ["failed", "2"], status);
					assert.match(status, /as it was.*QuotaExceededError: no room left/);
					continue;
				}
				assert.equal(state, "saved", `${file}: ${status}`);
				assert.equal(main, "-3");
			}
			// A refusal after a save still reads as a refusal.
			await checkRefusal(page, "two.kelv", "saved");

			// Two more, chosen in the file field as the copies are asked
			// for: one is left as listed, one is offered.
			await page.click("input[name=copies]");
			await page.setFiles("input[name=files]", [spare, copy]);
			await listed(page, table.length + card.length + 4, ["slow.kelv"]);
			await setRow(page, "copy.kelv", newTrack);
			await page.waitFor(() => document.querySelector('tr[data-name="copy.kelv"]').dataset.state === "offered");

			// Every state at once, and axe finds nothing against WCAG 2.1 A
			// and AA.
			const shown = await page.evaluate(() => [...new Set([...document.querySelectorAll("tr[data-name]")]
				.map((tr) => tr.dataset.state + (tr.querySelector(".refused") ? "+refused" : "")))].sort());
			assert.deepEqual(shown, ["empty", "failed", "not-recording", "offered", "reading", "recording",
				"saved", "saved+refused", "unreadable"]);
			await page.evaluate(axeSource);
			const violations = await page.evaluate(async () => {
				const result = await window.axe.run(document, {
					runOnly: { type: "tag", values: ["wcag2a", "wcag2aa", "wcag21a", "wcag21aa"] },
				});
				return result.violations.map((v) => `${v.id}: ${v.help} (${v.nodes.map((n) => n.target.join(" ")).slice(0, 3).join(", ")})`);
			});
			assert.deepEqual(violations, []);

			const states = [...table.map(([file, , , state]) => [file, state]),
				...card.map(([file, , state]) => [file, state])];
			for (const [file, head, tableSize] of put) {
				const state = states.find((row) => row[0] === file)[1];
				const [b64, size] = await page.evaluate(async (file) => {
					let dir = await navigator.storage.getDirectory();
					const parts = file.split("/");
					for (const part of parts.slice(0, -1)) dir = await dir.getDirectoryHandle(part);
					const got = await (await dir.getFileHandle(parts.at(-1))).getFile();
					const head = new Uint8Array(await got.slice(0, 64).arrayBuffer());
					const tail = new Uint8Array(await got.slice(Math.max(0, got.size - 2 ** 20)).arrayBuffer());
					const zeros = got.size > 2 ** 20 ? tail.every((b) => b === 0) : true;
					await dir.removeEntry(parts.at(-1));
					return [btoa(String.fromCharCode(...head)) + (zeros ? "" : "!"), got.size];
				}, file);
				const want = expected(head, tableSize, state, file === refusedWrite);
				assert.equal(size, want.size, `${file}: size`);
				assert.deepEqual(Buffer.from(b64, "base64"), want.head.subarray(0, 64), `${file}: first bytes`);
				assert.ok(!b64.endsWith("!"), `${file}: the end`);
			}
			await checkFaults(page);
			assert.deepEqual(served, ["GET /", "GET /"]); // the two loads, and nothing else
			await page.close();
		});
	});
}
