// The page in Debian's chromium, firefox-esr and WebKit (MiniBrowser), one
// engine a run (VARNHOLT_BROWSER, else all three), written once against
// web/browsers.mjs:
//  - one table of files, listed from file:// and saved as download copies,
//    compared byte for byte with what the command-line tool leaves;
//  - over http from 127.0.0.1, a row saved by keyboard alone, and nothing
//    asked of the server but the page: no icon, and no report of anything the
//    page's policy blocked (the server sends the same policy again as a
//    header that only reports);
//  - "Set for all" from file://: the line counting the recordings by layout
//    and the tracks every recording has, as files are listed and set; the
//    question past some recordings' last track, answered each way, and a
//    row's own Set asking it for its recording; no copy of a recording
//    already right, from "Set for all" or its row; a name made of markup
//    shown as text;
//  - a folder tree from file:// (dropped from the disk where the driver can,
//    else through the entries of a stand-in drop around the same files):
//    paths, a folder that cannot be read, only the recordings shown, copies
//    of same-named files each kept;
//  - Undo after "Set for all" in place (files of the origin-private file
//    system behind stand-in pickers, where the engine has them): a card put
//    back byte for byte (the page's picture is taken before); each file put
//    back only while it holds what was written, left when changed or gone,
//    failed when its write is refused, never written when already as it
//    was; Undo standing for the last change in place alone;
//  - the app (VARNHOLT_APP, else the folder beside the page) from a static
//    host under a path of its own: Chromium finds it installable, installs it
//    in the profile with its file handler for .kelv, and opens recordings
//    from the disk with it; where the engine has service workers, one visit
//    and a reload make it work offline and a new release replaces it; files
//    handed to the page's launchQueue consumer (handles of the origin-private
//    file system, where the engine has them) are listed and saved in place;
//    nothing is asked of the host but the app's own files;
//  - saving in place through file handles (files of the origin-private file
//    system behind stand-in pickers), where the engine has them, with every
//    state of a row on the page at once, and the question, checked by
//    axe-core; a recording already right keeps its bytes and its time.
// In each, a refusal reads as a refusal whatever the row did before, errors
// and policy violations are caught in the page (and from the console where
// the driver reads it), and each row control is under the pointer as soon as
// it is shown.
//   VARNHOLT_PAGE=build/wasm/varnholt-<version>-web.html VARNHOLT_VERSION=<version> \
//       VARNHOLT_BROWSER=webkit node --test test/
//   (VARNHOLT_APP=build/wasm/varnholt-<version>-web-app by default; the
//   version is the build's, which the page shows, never read from a path)
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
const appFolder = process.env.VARNHOLT_APP || path.join(path.dirname(pageFile), path.basename(pageFile, ".html") + "-app");
assert.ok(fs.existsSync(path.join(appFolder, "index.html")), "VARNHOLT_APP must name the built app's folder");
assert.ok(process.env.VARNHOLT_VERSION, "VARNHOLT_VERSION must give the built page's version");
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
	["right.kelv", marked(64, 4, 0xfd), 64, "recording", 4, -3],
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
const newTrack = "-3"; // set for every recording at once, past every last track
const newByte = 0xfd;
// Its main track is already the new one: never written, no copy offered.
const alreadyRight = "right.kelv";
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

const work = fs.mkdtempSync(path.join(os.tmpdir(), "page-test-"));
// Tried again while WebKit's processes, closing, still write to its profile.
after(() => fs.rmSync(work, { recursive: true, force: true, maxRetries: 10 }));
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
// "Set for all" on its own: recordings of a few layouts, chosen in steps,
// and one whose name is markup, which must stay text (the browser may
// change its copy's name); then the steps of "Set for all".
const named = "<img src=x> &amp; <b>.kelv";
const sets = [
	["a.kelv", 3, 0], ["b.kelv", 3, 0], ["c.kelv", 2, 0], [named, 2, 1], ["d.kelv", 1, 0], ["z.kelv", 0, 0],
];
fs.mkdirSync(path.join(work, "sets"));
for (const [file, tracks, main] of sets) fs.writeFileSync(path.join(work, "sets", file), marked(64, tracks, main));
fs.writeFileSync(path.join(work, "sets", "e.txt"), "not a recording\n");
// The files chosen, then the line above the table and the tracks named by
// the field for every recording.
const listing = [
	[["a.kelv"], "1 recording with 3 tracks, main track 0", " (it has tracks 0 to 2)"],
	[["b.kelv", "c.kelv", named, "e.txt"],
		"2 recordings with 3 tracks, main track 0; 1 with 2 tracks, main track 0; 1 with 2 tracks, main track 1", " (all have tracks 0 or 1)"],
	[["d.kelv"], "2 recordings with 3 tracks, main track 0; 1 with 1 track, main track 0; " +
		"1 with 2 tracks, main track 0; and 1 in another layout", " (all have track 0)"],
];
// Each step: how it starts (a click, or Enter in the field), the track, the
// answer to the question (null: none asked), the question and its buttons,
// the summary, then each recording's row (state and main track shown) and
// the main track of each copy offered (from the file itself, as chosen),
// and the line above the table after it.
const [a, b, c, d] = ["a.kelv", "b.kelv", "c.kelv", "d.kelv"];
const setSteps = [
	["Enter", "2", "Escape", ["3 of the 5 recordings listed have no track 2. Set their main track to 2 all the same? " +
		"No sets the others only.", ["yes", "no", "cancel"]], "Nothing was written.",
	{ [a]: ["recording", 0], [b]: ["recording", 0], [c]: ["recording", 0], [named]: ["recording", 1], [d]: ["recording", 0] },
	{}, listing[2][1]],
	["click", "1", "Enter", ["1 of the 5 recordings listed has no track 1. Set its main track to 1 all the same? " +
		"No sets the others only.", ["yes", "no", "cancel"]],
	"Main track 1: 0 saved in place, 3 offered as download copies, 1 already right, 1 skipped, 0 failed.",
	{ [a]: ["offered", 1], [b]: ["offered", 1], [c]: ["offered", 1], [named]: ["already", 1], [d]: ["skipped", 0] },
	{ [a]: 1, [b]: 1, [c]: 1 },
	"2 recordings with 2 tracks, main track 1; 2 with 3 tracks, main track 1; 1 with 1 track, main track 0",
	{ [named]: "main track is already 1: left as it is", [d]: "skipped: it has no track 1, left as it is" }],
	// The copies offered changed no file: those are still main track 0.
	["click", "0", null, null,
		"Main track 0: 0 saved in place, 1 offered as a download copy, 4 already right, 0 skipped, 0 failed.",
		{ [a]: ["already", 0], [b]: ["already", 0], [c]: ["already", 0], [named]: ["offered", 0], [d]: ["already", 0] },
		{ [named]: 0 },
		"2 recordings with 2 tracks, main track 0; 2 with 3 tracks, main track 0; 1 with 1 track, main track 0"],
	["click", "3", "no", ["None of the 5 recordings listed has a track 3. Set their main track to 3 all the same? " +
		"No writes nothing.", ["yes", "no"]],
	"Main track 3: 0 saved in place, 0 offered as download copies, 0 already right, 5 skipped, 0 failed.",
	// A row skipped shows the file's own main track again, not its copy's.
	{ [a]: ["skipped", 0], [b]: ["skipped", 0], [c]: ["skipped", 0], [named]: ["skipped", 1], [d]: ["skipped", 0] },
	{}, listing[2][1]],
	["click", "3", "yes", null,
		"Main track 3: 0 saved in place, 5 offered as download copies, 0 already right, 0 skipped, 0 failed.",
		{ [a]: ["offered", 3], [b]: ["offered", 3], [c]: ["offered", 3], [named]: ["offered", 3], [d]: ["offered", 3] },
		{ [a]: 3, [b]: 3, [c]: 3, [named]: 3, [d]: 3 },
		"2 recordings with 2 tracks, main track 3; 2 with 3 tracks, main track 3; 1 with 1 track, main track 3"],
];
// Then a row's own Set: for a track the recording (the file as chosen) lacks,
// the question of "Set for all" worded for that one, without "Write
// nothing". Each: the row, how it starts, the track, the answer (null: none
// asked), then the row's state and main track shown, and the main track of
// the copy offered (null: none).
const rowQuestions = [
	[d, "click", "2", "no", "skipped", 0, null],
	[d, "Enter", "-5", "Escape", "skipped", 0, null],
	[d, "Enter", "2", "Enter", "skipped", 0, null],
	[named, "click", "5", "yes", "offered", 5, 5],
	[a, "Enter", "2", null, "offered", 2, 2],
];

// A card as a camera leaves it, opened in place, set and put back (and the
// page's picture): path, first bytes, size (a sparse tail). The last
// recording's main track is 1 already.
const camera = [
	["CARD/DCIM/100/CLIP0001.kelv", marked(64, 2, 0), 24117248],
	["CARD/DCIM/100/CLIP0001.thm", Buffer.alloc(64, 0xff), 9216],
	["CARD/DCIM/100/CLIP0002.kelv", marked(64, 2, 0), 17825792],
	["CARD/DCIM/100/CLIP0002.thm", Buffer.alloc(64, 0xff), 8704],
	["CARD/DCIM/100/CLIP0003.kelv", marked(64, 3, 0), 31457280],
	["CARD/DCIM/100/CLIP0003.thm", Buffer.alloc(64, 0xff), 9728],
	["CARD/DCIM/100/CLIP0004.kelv", marked(64, 2, 1), 9961472],
	["CARD/DCIM/100/CLIP0004.thm", Buffer.alloc(64, 0xff), 8960],
];

// The bytes with main track main, grown to 48 if shorter, as a set leaves
// them.
const setMain = (bytes, main) => {
	const out = Buffer.alloc(Math.max(bytes.length, 48));
	bytes.copy(out);
	out[47] = main;
	return out;
};
// Saved in place by "Set for all" with main track 1, then changed by the test
// as another program would before Undo: the file, its bytes, the change (bytes
// written at an offset, or "remove"), then its row after Undo (state, main
// track shown, outcome) and the file's bytes (null: gone). The card of
// lockedFile is locked before Undo: every write to it is refused.
const lockedFile = "locked.kelv";
const undoCases = [
	["kept.kelv", marked(64, 2, 0), null, "put-back", 0, "put back to main track 0", marked(64, 2, 0)],
	["short.kelv", marked(46, 2, 0), null, "put-back", 0, "put back to its 46 bytes", marked(46, 2, 0)],
	["changed.kelv", marked(64, 3, 0), [47, [2]], "left", 2, "left as it is, changed since", setMain(marked(64, 3, 0), 2)],
	["longer.kelv", marked(46, 2, 0), [48, [0x5a, 0x5a]], "left", 1, "left as it is, changed since",
		Buffer.concat([setMain(marked(46, 2, 0), 1), Buffer.from([0x5a, 0x5a])])],
	["back.kelv", marked(64, 2, 0), [47, [0]], "already", 0, "already as it was", marked(64, 2, 0)],
	["gone.kelv", marked(64, 2, 0), "remove", "left", 1, /^left as it is \(NotFoundError: /, null],
	[lockedFile, marked(64, 2, 0), null, "failed", 1, "not put back (NoModificationAllowedError: the card is locked)",
		setMain(marked(64, 2, 0), 1)],
	["right.kelv", marked(64, 2, 1), null, "already", 1, "main track is already 1: left as it is", marked(64, 2, 1)],
];

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

// The download copy of a file of the table, checked, then removed.
async function checkCopy(folder, name) {
	const [, head, size, state] = table.find((row) => row[0] === name);
	await waitForFile(path.join(folder, name), expected(head, size, state).size);
	checkFile(path.join(folder, name), name);
	fs.rmSync(path.join(folder, name));
}

// A static host on 127.0.0.1 and every request made of it: files() gives
// what it serves, by path (the page alone at "/" unless told), as [type,
// bytes, more headers]. A page is sent with its own policy once more, as a
// header that only reports: what the policy blocks, even while the page
// loads, comes back to the host as a report, in every engine. stop() takes
// the host away, as when a device goes offline.
async function serve(t, files = () => new Map([["/", ["text/html; charset=utf-8", fs.readFileSync(pageFile)]]])) {
	const served = [];
	const server = http.createServer((request, response) => {
		let body = "";
		request.on("data", (data) => { body += data; });
		request.on("end", () => {
			served.push(`${request.method} ${request.url}${body ? " " + body : ""}`);
			const file = request.method === "GET" && files().get(request.url);
			if (!file) return response.writeHead(404).end();
			const [type, bytes, more] = file;
			const headers = { "content-type": type, ...more };
			if (type.startsWith("text/html")) {
				const policy = /http-equiv="Content-Security-Policy" content="([^"]*)"/.exec(bytes)[1];
				headers["content-security-policy-report-only"] = policy + "; report-uri /policy-report";
			}
			response.writeHead(200, headers).end(bytes);
		});
	});
	await new Promise((resolve) => server.listen(0, "127.0.0.1", resolve));
	const stop = () => {
		server.close();
		server.closeAllConnections();
	};
	t.after(stop);
	return { url: `http://127.0.0.1:${server.address().port}/`, served, stop };
}

// The app's folder as a static host serves it, under a path of its own
// ("./" is index.html), each file to be kept for 10 minutes in the browser's
// HTTP cache as GitHub Pages says; given a version, as that release of it
// would be (the version in its page and its worker).
const appPath = "/some/host/path/varnholt/";
const appVersion = process.env.VARNHOLT_VERSION;
const nextVersion = appVersion + ".1";
const appTypes = { ".html": "text/html; charset=utf-8", ".webmanifest": "application/manifest+json", ".js": "text/javascript" };
function appFiles(version = appVersion) {
	const files = new Map();
	for (const name of fs.readdirSync(appFolder)) {
		let bytes = fs.readFileSync(path.join(appFolder, name));
		if (version !== appVersion && name !== "manifest.webmanifest")
			bytes = Buffer.from(bytes.toString("utf8").replaceAll(appVersion, version));
		files.set(appPath + name, [appTypes[path.extname(name)] ?? "application/octet-stream", bytes,
			{ "cache-control": "max-age=600" }]);
	}
	files.set(appPath, files.get(appPath + "index.html"));
	return files;
}

// Files into the origin-private file system, each in one write: its first
// bytes, then a truncate to its size; and back, the first 64 bytes, the size
// and whether the last MiB reads as zeros (each file removed once read,
// unless kept).
async function putPrivate(page, file, head, size) {
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
async function checkPrivate(page, file, want, keep = false) {
	const [b64, size, zeros] = await page.evaluate(async (file, keep) => {
		let dir = await navigator.storage.getDirectory();
		const parts = file.split("/");
		for (const part of parts.slice(0, -1)) dir = await dir.getDirectoryHandle(part);
		const got = await (await dir.getFileHandle(parts.at(-1))).getFile();
		const head = new Uint8Array(await got.slice(0, 64).arrayBuffer());
		const tail = new Uint8Array(await got.slice(Math.max(0, got.size - 2 ** 20)).arrayBuffer());
		if (!keep) await dir.removeEntry(parts.at(-1));
		return [btoa(String.fromCharCode(...head)), got.size, got.size > 2 ** 20 ? tail.every((b) => b === 0) : true];
	}, file, keep);
	assert.equal(size, want.size, `${file}: size`);
	assert.deepEqual(Buffer.from(b64, "base64"), want.head.subarray(0, 64), `${file}: first bytes`);
	assert.ok(zeros, `${file}: the end`);
}

// Whether the engine gives file handles that write (the origin-private file
// system's), in a page of a secure context.
const writableHandles = (page) => page.evaluate(async () => {
	if (!navigator.storage || !navigator.storage.getDirectory) return false;
	const dir = await navigator.storage.getDirectory();
	const handle = await dir.getFileHandle("probe", { create: true });
	return "createWritable" in handle;
});

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
					const [x, y] = [box.x + box.width / 2, box.y + box.height / 2];
					if (y <= 0 || y >= innerHeight || !box.width) continue; // its middle off screen
					const hit = document.elementFromPoint(x, y);
					const row = node.closest("tr").dataset;
					if (hit !== node) window.unusable.push(`${row.path ?? row.name} ${node.name}: ${hit && hit.localName}`);
				}
			}
		}).observe(document.querySelector("#rows"), { subtree: true, childList: true });
	});
}

// What axe-core finds against WCAG 2.1 A and AA, where the driver runs a
// script given as text (puppeteer-core's).
async function axeViolations(page) {
	await page.evaluate(axeSource);
	return page.evaluate(async () => {
		const result = await window.axe.run(document, {
			runOnly: { type: "tag", values: ["wcag2a", "wcag2aa", "wcag21a", "wcag21aa"] },
		});
		return result.violations.map((v) => `${v.id}: ${v.help} (${v.nodes.map((n) => n.target.join(" ")).slice(0, 3).join(", ")})`);
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

// The row's field emptied, then text typed and the row's button clicked (or
// Enter pressed in the field); when answer is given, the question asked
// first, answered as answerQuestion does.
async function setRow(page, name, text, { start = "click", answer = null, question } = {}) {
	const row = rowOf(name);
	await page.evaluate((row) => { document.querySelector(`${row} input[name=track]`).value = ""; }, row);
	await page.type(`${row} input[name=track]`, text);
	if (start === "Enter") await page.press("Enter");
	else await page.click(`${row} button[name=apply]`);
	if (answer === null) return;
	await page.waitFor(() => !document.querySelector("#ask").hidden);
	await answerQuestion(page, answer, question);
	await page.waitFor(() => document.querySelector("#ask").hidden);
}

// The question on screen: its text and buttons as question gives them (when
// given) and the focus on "no"; whileAsked runs, then it is answered by a
// click on its button ("yes", "no", "cancel") or by a key ("Enter",
// "Escape").
async function answerQuestion(page, answer, question, whileAsked) {
	const [text, focus, buttons] = await page.evaluate(() => [document.querySelector("#question").textContent,
		document.activeElement.name, [...document.querySelectorAll("#ask button")].filter((b) => !b.hidden).map((b) => b.name)]);
	if (question) assert.deepEqual([text, buttons], question);
	assert.equal(focus, "no", "the focus on no");
	if (whileAsked) await whileAsked();
	if (answer === "Enter" || answer === "Escape") await page.press(answer);
	else await page.click(`#ask button[name=${answer}]`);
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

// "Set for all": the field emptied, the track typed and the button clicked
// (or Enter pressed in the field); then, when answer is given, the question
// asked in the page, answered as answerQuestion does; when answer is null,
// no question at all.
async function setAll(page, summary, { track = newTrack, start = "click", answer = "yes", question, whileAsked } = {}) {
	await page.evaluate(() => { document.querySelector("input[name=track-all]").value = ""; });
	await page.type("input[name=track-all]", track);
	if (start === "Enter") await page.press("Enter");
	else await page.click("button[name=apply-all]");
	await page.waitFor(() => !document.querySelector("#ask").hidden ||
		document.querySelector("#summary").textContent, [], 300000);
	const shown = await page.evaluate(() => !document.querySelector("#ask").hidden);
	assert.equal(shown, answer !== null, "the question asked, or not");
	if (answer !== null) await answerQuestion(page, answer, question, whileAsked);
	// A summary that never comes is told with what the page shows instead.
	const got = await page.waitFor(() => document.querySelector("#summary").textContent, [], 120000).catch(async (e) => {
		const shown = await page.evaluate(() => ({ asked: !document.querySelector("#ask").hidden,
			focus: document.activeElement.name || document.activeElement.localName,
			rows: [...document.querySelectorAll("tr[data-tracks]")].map((tr) => tr.dataset.state).join() }));
		throw new Error(`no summary for ${track}, answered ${answer}: ${JSON.stringify(shown)} (${e.message})`);
	});
	assert.deepEqual([got, await page.evaluate(() => document.querySelector("#ask").hidden)], [summary, true]);
}

// Whether the Undo button is shown; and Undo clicked, its summary, the
// focus in the field for every recording after it, and the button gone.
const undoShown = (page) => page.evaluate(() => !document.querySelector("button[name=undo]").hidden);
async function undoAll(page, summary) {
	await page.click("button[name=undo]");
	await page.waitFor(() => document.querySelector("#summary").textContent.startsWith("Undo"));
	assert.deepEqual([await page.evaluate(() => [document.querySelector("#summary").textContent,
		document.activeElement.name]), await undoShown(page)], [[summary, "track-all"], false]);
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

// Launches of the app as the system's "Open with" makes them, each with the
// table's files it hands over: started from the launcher with none, then two
// recordings and a file that is not one, then one more into the same window.
const launches = [[], ["two.kelv", "absent.kelv", "signed.kelv"], ["short44.kelv"]];
const launched = launches.flat();
// Before the page's script: the consumer the page gives launchQueue is
// caught (where the engine has no launchQueue, one stands in), so that the
// test can hand it what a launch hands it.
function catchLaunches() {
	const setConsumer = (consumer) => { window.launchConsumer = consumer; };
	if (window.launchQueue) window.launchQueue.setConsumer = setConsumer;
	else window.launchQueue = { setConsumer };
}
const handOver = (page, names) => page.evaluate(async (names) => {
	const dir = await navigator.storage.getDirectory();
	window.launchConsumer({ targetURL: location.href, files: await Promise.all(names.map((name) => dir.getFileHandle(name))) });
}, names);
const tableRow = (file) => {
	const [, , , ...shown] = table.find((row) => row[0] === file);
	return [file, want(file, ...shown)];
};
async function until(fn, timeout = 30000) {
	const end = Date.now() + timeout;
	for (let got; !(got = await fn());) {
		if (Date.now() > end) throw new Error(`waiting for ${fn}: timed out after ${timeout} ms`);
		await new Promise((resolve) => setTimeout(resolve, 100));
	}
}

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
			await setAll(page, `Main track -3: 0 saved in place, ${recordings.length - 1} offered as download copies, ` +
				"1 already right, 0 skipped, 0 failed.");
			const saved = await page.evaluate(() => [...document.querySelectorAll("tr[data-tracks]")].map((tr) =>
				[tr.dataset.name, tr.dataset.state, tr.dataset.main, tr.querySelector(".status").textContent]));
			for (const [file, state, main, status] of saved) {
				assert.equal(state, file === alreadyRight ? "already" : "offered", `${file}: ${status}`);
				assert.equal(main, "-3");
				assert.doesNotMatch(status, /\bchanged|saved in place/);
			}
			for (const file of recordings.filter((file) => file !== alreadyRight)) await checkCopy(downloads, file);
			// By now its copy would have come too.
			assert.ok(!fs.existsSync(path.join(downloads, alreadyRight)), "no copy of a recording already right");
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
			// Tab from the top of the page to the row's field, type a new
			// track it has, Enter: the row is saved (as a copy: a chosen
			// file).
			await page.evaluate(() => document.activeElement?.blur());
			let focus;
			for (let tabs = 0; tabs < 30 && focus !== "track"; tabs++) {
				await page.press("Tab");
				focus = await page.evaluate(() => document.activeElement.name);
			}
			assert.equal(focus, "track");
			await page.keys("0");
			await page.press("Enter");
			await page.waitFor(() => document.querySelector('tr[data-name="copy.kelv"]').dataset.state === "offered");
			await waitForFile(path.join(downloads, "copy.kelv"), 64);
			const bytes = marked(64, 2, 0);
			assert.deepEqual(fs.readFileSync(path.join(downloads, "copy.kelv")), bytes);
			fs.rmSync(path.join(downloads, "copy.kelv"));
			// A refusal after a copy was offered still reads as a refusal.
			await checkRefusal(page, "copy.kelv", "offered");
			await checkFaults(page);
			// The page, and no icon, no report of anything its policy blocked.
			assert.deepEqual(served, ["GET /"]);
			await page.close();
		});

		test("\"Set for all\" from file://: the layouts, the tracks all have, the question past a last track, nothing for recordings already right, names as text", async () => {
			const page = await browser.newPage();
			await page.goto(pathToFileURL(path.resolve(pageFile)).href);
			await watch(page);
			const shown = () => page.evaluate(() => [document.querySelector("#layouts").textContent,
				document.querySelector("#tracks-all").textContent]);
			assert.deepEqual(await shown(), ["", ""]);
			let count = 0;
			for (const [chosen, line, tracks] of listing) {
				await page.setFiles("input[name=files]", chosen.map((file) => path.join(work, "sets", file)));
				await listed(page, count += chosen.length);
				assert.deepEqual(await shown(), [line, tracks], chosen.join());
			}

			// The copies that come in the downloads during a step: by name,
			// or by their bytes for the name the browser may have changed;
			// waited for, then a second more for any that should not come.
			const old = new Set(fs.readdirSync(downloads));
			const arrived = () => fs.readdirSync(downloads).filter((file) => !old.has(file) &&
				!/\.(crdownload|part|download)$/.test(file) && fs.statSync(path.join(downloads, file)).size === 64);
			const rowState = () => page.evaluate(() => Object.fromEntries([...document.querySelectorAll("tr[data-tracks]")]
				.map((tr) => [tr.dataset.name, [tr.dataset.state, Number(tr.dataset.main)]])));
			const status = (file) => page.evaluate((row) => document.querySelector(row + " .status").textContent, rowOf(file));
			for (const [start, track, answer, question, summary, rows, copies, line, said = {}] of setSteps) {
				const step = `${track}, ${answer}`;
				await setAll(page, summary, { track, start, answer, question });
				assert.deepEqual(await rowState(), rows, step);
				for (const [file, text] of Object.entries(said)) assert.equal(await status(file), text, `${step}: ${file}`);
				assert.equal(await page.evaluate(() => document.querySelector("#layouts").textContent), line, step);
				await until(() => arrived().length >= Object.keys(copies).length, 60000);
				await new Promise((resolve) => setTimeout(resolve, 1000));
				const got = arrived();
				assert.equal(got.length, Object.keys(copies).length, `${step}: ${got.join(", ")}`);
				for (const [file, main] of Object.entries(copies)) {
					const tracks = sets.find((row) => row[0] === file)[1];
					const copy = got.includes(file) ? file : got.find((name) => !(name in copies));
					assert.deepEqual(fs.readFileSync(path.join(downloads, copy)), marked(64, tracks, main & 0xff), `${step}: ${file}`);
					fs.rmSync(path.join(downloads, copy));
					got.splice(got.indexOf(copy), 1);
				}
			}
			// A row's own button does not offer a copy of a recording already
			// right either.
			await setRow(page, c, "0");
			await page.waitFor((row) => document.querySelector(row).dataset.state === "already", [rowOf(c)]);
			assert.equal(await status(c), "main track is already 0: left as it is");
			await new Promise((resolve) => setTimeout(resolve, 1000));
			assert.deepEqual(arrived(), []);

			// A recording with no track: none in common.
			await page.setFiles("input[name=files]", [path.join(work, "sets", "z.kelv")]);
			await listed(page, ++count);
			assert.deepEqual(await shown(), ["2 recordings with 3 tracks, main track 3; 1 with 0 tracks, main track 0; " +
				"1 with 1 track, main track 3; and 2 in other layouts", " (no track in common)"]);

			for (const [file, start, track, answer, state, main, copyMain] of rowQuestions) {
				const step = `${file} ${track}, ${answer}`;
				await setRow(page, file, track, { start, answer, question: [`The recording ${file} has no track ${track}. ` +
					`Set its main track to ${track} all the same? No writes nothing.`, ["yes", "no"]] });
				await page.waitFor((row, state, main) => document.querySelector(row).dataset.state === state &&
					document.querySelector(row).dataset.main === main, [rowOf(file), state, String(main)]);
				// The focus back in the row's field.
				assert.ok(await page.evaluate((row) => document.activeElement === document.querySelector(row + " input"),
					rowOf(file)), step);
				const copies = copyMain === null ? 0 : 1;
				await until(() => arrived().length >= copies, 60000);
				await new Promise((resolve) => setTimeout(resolve, 1000));
				const got = arrived();
				assert.equal(got.length, copies, `${step}: ${got.join(", ")}`);
				if (copies) {
					const tracks = sets.find((row) => row[0] === file)[1];
					assert.deepEqual(fs.readFileSync(path.join(downloads, got[0])), marked(64, tracks, copyMain), step);
					fs.rmSync(path.join(downloads, got[0]));
				}
			}

			// Copies change no file: nothing to undo.
			assert.equal(await undoShown(page), false);

			// The name as it is, in its row and nowhere as markup.
			assert.deepEqual(await page.evaluate((row) => [document.querySelector(row + " th").textContent,
				document.querySelectorAll("main img, main b").length], rowOf(named)), [named, 0]);
			if (page.puppeteer) assert.deepEqual(await axeViolations(page), []);
			await checkFaults(page);
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

			await setAll(page, `Main track -3: 0 saved in place, ${cardRecordings.length} offered as download copies, ` +
				"0 already right, 0 skipped, 0 failed.");
			// Each copy named by its path, so that same-named files in two
			// folders are two copies.
			for (const [file, bytes] of cardRecordings) {
				const copy = path.join(downloads, file.split("/").join("_"));
				const want = expected(bytes, bytes.length, "recording");
				await waitForFile(copy, want.size);
				assert.deepEqual(fs.readFileSync(copy), want.head, file);
				fs.rmSync(copy);
			}

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

		// These three before the test of saving in place: once its 5 GiB
		// file is gone from the origin-private file system, Firefox counts the
		// usage of 127.0.0.1 below zero, and no later page of 127.0.0.1 gets
		// one.
		test("a card set in place, then Undo: every recording byte for byte as it was", async (t) => {
			const { url } = await serve(t);
			const page = await browser.newPage();
			await page.goto(url);
			if (!(await writableHandles(page))) {
				t.skip(`${name} gives no writable file handles`);
				return;
			}
			for (const [file, head, size] of camera) await putPrivate(page, "camera/" + file, head, size);
			await page.addInitScript(() => {
				window.showDirectoryPicker = async () =>
					(await (await navigator.storage.getDirectory()).getDirectoryHandle("camera")).getDirectoryHandle("CARD");
			});
			await page.reload();
			await watch(page);
			await page.click("button[name=pick-folder]");
			await listed(page, camera.length);
			assert.equal(await undoShown(page), false);
			await setAll(page, "Main track 1: 3 saved in place, 0 offered as download copies, 1 already right, " +
				"0 skipped, 0 failed.", { track: "1", answer: null });
			assert.equal(await undoShown(page), true);
			if (name === "chromium" && process.env.VARNHOLT_SCREENSHOT)
				await page.screenshot(process.env.VARNHOLT_SCREENSHOT, 1000, 700);

			await undoAll(page, "Undo: 3 put back, 0 already as before, 0 left, 0 failed.");
			assert.deepEqual(await page.evaluate(() => [...document.querySelectorAll("tr[data-tracks]")].map((tr) =>
				[tr.dataset.path, tr.dataset.state, tr.dataset.main, tr.querySelector(".status").textContent])), camera
				.filter(([file]) => file.endsWith(".kelv")).map(([file, head]) => head[47] === 1
					? [file, "already", "1", "main track is already 1: left as it is"]
					: [file, "put-back", "0", "put back to main track 0"]));
			for (const [file, head, size] of camera) await checkPrivate(page, "camera/" + file, { head, size });
			await checkFaults(page);
			await page.close();
		});

		test("Undo puts back only what still holds what \"Set for all\" wrote, and stands for the last change in place alone", async (t) => {
			const { url } = await serve(t);
			const page = await browser.newPage();
			await page.goto(url);
			if (!(await writableHandles(page))) {
				t.skip(`${name} gives no writable file handles`);
				return;
			}
			for (const [file, bytes] of undoCases) await putPrivate(page, "undo/" + file, bytes, bytes.length);
			await page.addInitScript((lockedFile) => {
				window.showOpenFilePicker = async () => {
					const dir = await (await navigator.storage.getDirectory()).getDirectoryHandle("undo");
					const handles = [];
					for await (const handle of dir.values()) {
						handles.push(handle.name !== lockedFile ? handle : {
							kind: "file", name: handle.name, getFile: () => handle.getFile(),
							createWritable: (options) => (window.locked
								? Promise.reject(new DOMException("the card is locked", "NoModificationAllowedError"))
								: handle.createWritable(options)),
						});
					}
					return handles;
				};
			}, lockedFile);
			await page.reload();
			await watch(page);
			const inUndo = () => page.evaluate(async () => {
				const found = {};
				const dir = await (await navigator.storage.getDirectory()).getDirectoryHandle("undo");
				for await (const handle of dir.values()) found[handle.name] = (await handle.getFile()).lastModified;
				return found;
			});
			await page.click("button[name=pick]");
			await listed(page, undoCases.length);
			await setAll(page, "Main track 1: 7 saved in place, 0 offered as download copies, 1 already right, " +
				"0 skipped, 0 failed.", { track: "1", answer: null });
			assert.equal(await undoShown(page), true);
			await page.evaluate(async (changes) => {
				const dir = await (await navigator.storage.getDirectory()).getDirectoryHandle("undo");
				for (const [file, change] of changes) {
					if (change === "remove") {
						await dir.removeEntry(file);
						continue;
					}
					const writable = await (await dir.getFileHandle(file)).createWritable({ keepExistingData: true });
					await writable.write({ type: "write", position: change[0], data: new Uint8Array(change[1]) });
					await writable.close();
				}
				window.locked = true;
			}, undoCases.filter(([, , change]) => change).map(([file, , change]) => [file, change]));
			const before = await inUndo();

			await undoAll(page, "Undo: 2 put back, 1 already as before, 3 left, 1 failed.");
			const rows = await page.evaluate(() => Object.fromEntries([...document.querySelectorAll("tr[data-tracks]")].map((tr) =>
				[tr.dataset.name, [tr.dataset.state, tr.dataset.main, tr.querySelector(".status").textContent]])));
			// Nothing written but what was put back.
			const after = await inUndo();
			for (const [file, , , state, main, status, bytes] of undoCases) {
				const [got, shown, said] = rows[file];
				assert.deepEqual([got, shown], [state, String(main)], `${file}: ${said}`);
				if (typeof status === "string") assert.equal(said, status, file);
				else assert.match(said, status, file);
				if (bytes) await checkPrivate(page, "undo/" + file, { head: bytes, size: bytes.length }, true);
				else assert.ok(!(file in after), `${file} is not made again`);
				if (state !== "put-back") assert.equal(after[file], before[file], `${file}: its time`);
			}
			if (page.puppeteer) assert.deepEqual(await axeViolations(page), []);

			// A copy offered by a row changes no file and keeps the Undo of
			// "Set for all"; a row's Set in place hides it; a newer "Set for
			// all" brings its own, which puts back what that one changed, not
			// what was there before.
			await page.evaluate(() => { window.locked = false; });
			await setAll(page, "Main track 0: 4 saved in place, 0 offered as download copies, 3 already right, " +
				"0 skipped, 1 failed.", { track: "0", answer: null });
			assert.equal(await undoShown(page), true);
			await page.click("input[name=copies]");
			await setRow(page, "back.kelv", "1");
			await page.waitFor(() => document.querySelector('tr[data-name="back.kelv"]').dataset.state === "offered");
			await waitForFile(path.join(downloads, "back.kelv"), 64);
			assert.deepEqual(fs.readFileSync(path.join(downloads, "back.kelv")), marked(64, 2, 1));
			fs.rmSync(path.join(downloads, "back.kelv"));
			assert.equal(await undoShown(page), true);
			await page.click("input[name=copies]");
			await setRow(page, "kept.kelv", "1");
			await page.waitFor(() => document.querySelector('tr[data-name="kept.kelv"]').dataset.state === "saved");
			assert.equal(await undoShown(page), false);
			await setAll(page, "Main track 1: 6 saved in place, 0 offered as download copies, 1 already right, " +
				"0 skipped, 1 failed.", { track: "1", answer: null });
			await setAll(page, "Main track 0: 7 saved in place, 0 offered as download copies, 0 already right, " +
				"0 skipped, 1 failed.", { track: "0", answer: null });
			await undoAll(page, "Undo: 7 put back, 0 already as before, 0 left, 0 failed.");
			for (const [file, , , , , , bytes] of undoCases.filter(([, , , , , , bytes]) => bytes))
				await checkPrivate(page, "undo/" + file, { head: setMain(bytes, 1), size: Math.max(bytes.length, 48) });
			await checkFaults(page);
			await page.close();
		});

		test("as an app from a static host: installable, offline after one visit, replaced by a new release, listing the files it is opened with", async (t) => {
			let release = appVersion;
			const host = await serve(t, () => appFiles(release));
			const url = host.url.replace(/\/$/, appPath);
			const page = await browser.newPage();
			await page.goto(url);
			const launchable = await writableHandles(page);
			if (launchable) await page.addInitScript(catchLaunches);

			if (page.appManifest) {
				const { installabilityErrors, url: manifestUrl, errors, manifest } = await page.appManifest();
				assert.deepEqual([installabilityErrors, manifestUrl, errors], [[], url + "manifest.webmanifest", []]);
				// Under any path, the app is the folder it is served from.
				assert.deepEqual([manifest.id, manifest.startUrl, manifest.scope, manifest.display, manifest.launchHandler],
					[url, url, url, "kStandalone", { clientMode: "kFocusExisting" }]);
				// In the page's colours: its background, and its accent (a
				// button's border).
				const rgb = (colour) => colour.match(/\d+/g).slice(0, 3).join();
				assert.deepEqual([manifest.backgroundColor, manifest.themeColor].map(rgb), (await page.evaluate(() =>
					[getComputedStyle(document.body).backgroundColor, getComputedStyle(document.querySelector("button")).borderColor]))
					.map(rgb));
				// Installed for real in the profile, it takes .kelv files
				// from the system.
				await browser.apps.install(url);
				assert.deepEqual((await browser.apps.fileHandlers(url)).map(({ action, accepts }) => [action, accepts]),
					[[url, [{ mediaType: "application/x-kelvane", fileExtensions: [".kelv"] }]]]);
			}

			const workers = await page.evaluate(() => "serviceWorker" in navigator);
			if (workers) {
				const version = () => page.evaluate(() => document.querySelector("h1 small").textContent);
				const activated = () => page.evaluate(async () => {
					const worker = (await navigator.serviceWorker.ready).active;
					if (worker.state !== "activated")
						await new Promise((resolve) => worker.addEventListener("statechange", resolve));
					return worker.state;
				});
				assert.equal(await activated(), "activated");
				await page.reload();
				assert.equal(await page.evaluate(() => navigator.serviceWorker.controller?.scriptURL), url + "service-worker.js");
				// A new release: the next visit installs its worker, which
				// takes over and deletes the old release's cache; the visit
				// after shows the new page.
				release = nextVersion;
				await page.reload();
				assert.equal(await version(), appVersion);
				await page.waitFor((cache) => caches.keys().then((keys) => keys.join() === cache),
					[`varnholt ${nextVersion} ${url}`]);
				await page.reload();
				assert.equal(await version(), nextVersion);
				// The host gone, the app is still there, from its worker.
				host.stop();
				await page.reload();
				assert.equal(await version(), nextVersion);
				assert.equal(await page.evaluate(() => navigator.serviceWorker.controller?.scriptURL), url + "service-worker.js");
			} else {
				t.diagnostic(`${name} has no service workers: the app is tried online only`);
				if (launchable) await page.reload();
			}

			// The app (offline, where it has its worker) lists and saves a
			// chosen file as a copy, and the files of each launch in place,
			// "Set for all" and the copies box covering them as any row.
			await watch(page);
			await page.setFiles("input[name=files]", [copy]);
			const rows = [["copy.kelv", want("copy.kelv", "recording", 2, 1)]];
			if (launchable) {
				for (const [file, head, size] of table.filter(([file]) => launched.includes(file)))
					await putPrivate(page, file, head, size);
				for (const names of launches) await handOver(page, names);
				rows.push(...launched.map(tableRow));
			} else {
				t.diagnostic(`${name} gives no writable file handles: no launch is handed over`);
			}
			await listed(page, rows.length);
			assert.deepEqual(new Map(await rowsOf(page)), new Map(rows));
			const inPlace = rows.filter(([file, [, , state]]) => state === "recording" && file !== "copy.kelv");
			await setAll(page, `Main track -3: ${inPlace.length} saved in place, 1 offered as a download copy, ` +
				"0 already right, 0 skipped, 0 failed.");
			const bytes = marked(64, 2, 1);
			bytes[47] = newByte;
			await waitForFile(path.join(downloads, "copy.kelv"), 64);
			assert.deepEqual(fs.readFileSync(path.join(downloads, "copy.kelv")), bytes);
			fs.rmSync(path.join(downloads, "copy.kelv"));
			if (launchable) {
				// Saved in place with the new track, two.kelv would not be
				// saved again with it: another one.
				await page.click("input[name=copies]");
				await setRow(page, "two.kelv", "1");
				await page.waitFor(() => document.querySelector('tr[data-name="two.kelv"]').dataset.state === "offered");
				await waitForFile(path.join(downloads, "two.kelv"), 64);
				assert.deepEqual(fs.readFileSync(path.join(downloads, "two.kelv")), marked(64, 2, 1));
				fs.rmSync(path.join(downloads, "two.kelv"));
				for (const [file, head, size, state] of table.filter(([file]) => launched.includes(file)))
					await checkPrivate(page, file, expected(head, size, state));
			}
			await checkFaults(page);

			// Installed, the app is opened with recordings from the disk, as
			// from a file manager: the first launch opens its window (from
			// its worker, the host gone), the next one goes to that window.
			if (browser.apps) {
				await browser.apps.launchFiles(url, [path.join(files, "two.kelv")]);
				await until(async () => (await browser.apps.windows(url)).length > 0);
				const [window] = await browser.apps.windows(url);
				await watch(window);
				await listed(window, 1);
				await browser.apps.launchFiles(url, ["signed.kelv", "absent.kelv"].map((file) => path.join(files, file)));
				await listed(window, 3);
				assert.equal((await browser.apps.windows(url)).length, 1);
				assert.deepEqual(new Map(await rowsOf(window)), new Map(["two.kelv", "signed.kelv", "absent.kelv"].map(tableRow)));
				assert.equal(await window.evaluate(() => document.querySelector("h1 small").textContent), nextVersion);
				// Saving in place would wait for leave to write, which no one
				// gives here: the copies are asked for.
				await window.click("input[name=copies]");
				await setAll(window, "Main track -3: 0 saved in place, 2 offered as download copies, " +
					"0 already right, 0 skipped, 0 failed.");
				for (const file of ["two.kelv", "signed.kelv"]) await checkCopy(downloads, file);
				await checkFaults(window);
				await window.close();
			}
			// Nothing was asked of the host but the app's own files.
			const own = new Set([...appFiles().keys()].map((file) => "GET " + file));
			assert.deepEqual(host.served.filter((request) => !own.has(request)), []);
			await page.close();
		});

		test("saves in place through file handles over http, every state of a row passing axe", async (t) => {
			const { url, served } = await serve(t);
			const page = await browser.newPage();
			await page.goto(url);
			if (!(await writableHandles(page))) {
				t.skip(`${name} gives no writable file handles`);
				return;
			}
			// The table's files and the card into the origin-private file
			// system, each in one write: its first bytes, then a truncate to
			// its size.
			const put = [...table.map(([file, head, size]) => [file, head, size]),
				...card.map(([file, bytes]) => [file, bytes, bytes.length])];
			for (const [file, head, size] of put) await putPrivate(page, file, head, size);
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
			// A recording already right is not written, by its own button
			// nor by "Set for all": the browser would give it a new time.
			const modified = () => page.evaluate(async (file) =>
				(await (await (await navigator.storage.getDirectory()).getFileHandle(file)).getFile()).lastModified, alreadyRight);
			const before = await modified();
			await setRow(page, alreadyRight, newTrack);
			await page.waitFor((row) => document.querySelector(row).dataset.state === "already", [rowOf(alreadyRight)]);
			await setAll(page, `Main track -3: ${recordings.length - 2 + cardRecordings.length} saved in place, ` +
				"0 offered as download copies, 1 already right, 0 skipped, 1 failed.", {
				// The question passes axe too.
				whileAsked: async () => assert.deepEqual(await axeViolations(page), []),
			});
			assert.equal(await modified(), before, `${alreadyRight}: its time`);
			const saved = await page.evaluate(() => [...document.querySelectorAll("tr[data-tracks]")].map((tr) =>
				[tr.dataset.path, tr.dataset.state, tr.dataset.main, tr.querySelector(".status").textContent]));
			for (const [file, state, main, status] of saved) {
				if (file === refusedWrite) {
					assert.deepEqual([state, main], ["failed", "2"], status);
					assert.match(status, /as it was.*QuotaExceededError: no room left/);
					continue;
				}
				assert.equal(state, file === alreadyRight ? "already" : "saved", `${file}: ${status}`);
				assert.equal(main, "-3");
			}
			// A refusal after a save still reads as a refusal.
			await checkRefusal(page, "two.kelv", "saved");

			// Two more, chosen in the file field as the copies are asked
			// for: one is left as listed, one is offered.
			await page.click("input[name=copies]");
			await page.setFiles("input[name=files]", [spare, copy]);
			await listed(page, table.length + card.length + 4, ["slow.kelv"]);
			await setRow(page, "copy.kelv", newTrack, { answer: "yes" });
			await page.waitFor(() => document.querySelector('tr[data-name="copy.kelv"]').dataset.state === "offered");

			// Every state at once, and axe finds nothing against WCAG 2.1 A
			// and AA.
			const shown = await page.evaluate(() => [...new Set([...document.querySelectorAll("tr[data-name]")]
				.map((tr) => tr.dataset.state + (tr.querySelector(".refused") ? "+refused" : "")))].sort());
			assert.deepEqual(shown, ["already", "empty", "failed", "not-recording", "offered", "reading", "recording",
				"saved", "saved+refused", "unreadable"]);
			assert.deepEqual(await axeViolations(page), []);

			const states = [...table.map(([file, , , state]) => [file, state]),
				...card.map(([file, , state]) => [file, state])];
			for (const [file, head, size] of put) {
				const state = states.find((row) => row[0] === file)[1];
				await checkPrivate(page, file, expected(head, size, state, file === refusedWrite));
			}
			await checkFaults(page);
			assert.deepEqual(served, ["GET /", "GET /"]); // the two loads, and nothing else
			await page.close();
		});
	});
}
