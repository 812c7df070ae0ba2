// A whole card set in place, Varnholt-open against the web page's in-place
// save in headless chromium, and a card where half the recordings already
// have the new main track against one where none has, in the same run:
//  - the card: recordings of random bytes in folders of ten (CARD/100,
//    CARD/101, ...), each beside a 2 KiB thumbnail, on the disk for
//    Varnholt-open, and copied into the origin-private file system of a
//    profile on the same disk for the page, which a stand-in
//    showDirectoryPicker hands over (headless Chromium never answers the real
//    picker's prompt);
//  - each round, one new main track for the whole card, 0 and 1 in turn (the
//    recordings have two tracks; made with main track 1), set twice through
//    each: first when no recording has it (the baseline), then when every
//    other one already has it, the rest set back to the round's old track
//    beforehand by this script (on the disk, and in the origin-private file
//    system through the page), unmeasured; Varnholt-open timed from its
//    answer written on its standard input until it has ended, the page from
//    the click on "Set for all" until its summary; and the bytes each wrote
//    (write_bytes, counted as pages are dirtied): Varnholt-open's, reaped
//    into this process's own count, and the sum over all the browser's
//    processes, before and after; each from a cold page cache, as a card
//    just put in;
//  - after each setting, in both, the summary's counts (set or saved, already
//    right), each row of the page saved or left as it should be, and every
//    recording's byte 47 and a hash of all its other bytes, and every
//    thumbnail's bytes, against the card as made; no other file is left
//    beside them;
//  - at the end, Varnholt-open under strace, none and half already right:
//    the bytes of its write calls.
//   cmake --preset dev && cmake --build --preset dev && npm ci --prefix web &&
//   cmake --preset wasm && cmake --build --preset wasm
//   node bench/card.mjs build/wasm/varnholt-<version>-web.html build/dev/Varnholt-open [rounds] [recordings] [MiB each]
import { spawn, spawnSync } from "node:child_process";
import crypto from "node:crypto";
import fs from "node:fs";
import http from "node:http";
import os from "node:os";
import path from "node:path";
import { launch } from "../web/browsers.mjs";
import { line, processTree, procField } from "./measure.mjs";

const [pageFile, tool] = process.argv.slice(2, 4);
const rounds = Number(process.argv[4] || 3);
const count = Number(process.argv[5] || 50);
const mib = Number(process.argv[6] || 16);
if (!pageFile || !fs.existsSync(pageFile) || !tool || !fs.existsSync(tool) ||
	!(rounds >= 1 && rounds <= 100 && count >= 1 && mib > 0)) {
	console.error("usage: node bench/card.mjs path/to/varnholt-<version>-web.html path/to/Varnholt-open " +
		"[rounds (3, at most 100)] [recordings (50)] [MiB each (16)]");
	process.exit(2);
}
const work = fs.mkdtempSync(path.join(os.tmpdir(), "card-bench-"));
process.on("exit", () => fs.rmSync(work, { recursive: true, force: true }));
const size = Math.round(mib * 1024 ** 2);

// The card, and what each of its files must hold: for a recording, the hash
// of all its bytes but byte 47, which is the main track; for a thumbnail,
// the hash of all its bytes, byte 47 included.
const files = []; // [path in the card, hash, whether a recording]
const skip47 = (bytes) => crypto.createHash("sha256").update(bytes.subarray(0, 47)).update(bytes.subarray(48)).digest("hex");
const whole = (bytes) => crypto.createHash("sha256").update(bytes).digest("hex");
const recording = Buffer.alloc(size);
const thumbnail = Buffer.alloc(2048, 0xff);
for (let i = 0; i < count; i++) {
	const folder = `CARD/${100 + Math.floor(i / 10)}`;
	fs.mkdirSync(path.join(work, folder), { recursive: true });
	const name = `${folder}/CLIP${String(i % 10 + 1).padStart(4, "0")}`;
	crypto.randomFillSync(recording);
	recording.write("KELV", 38, "latin1");
	recording[45] = 2;
	recording[47] = 1;
	fs.writeFileSync(path.join(work, name + ".kelv"), recording);
	files.push([name + ".kelv", skip47(recording), true]);
	fs.writeFileSync(path.join(work, name + ".thm"), thumbnail);
	files.push([name + ".thm", whole(thumbnail), false]);
}
files.sort((a, b) => (a[0] < b[0] ? -1 : 1));
const card = path.join(work, "CARD");
// The second setting of a round finds every other recording already right
// (half, below), the rest set back to the track the round started from.
const recordings = files.filter(([, , isRecording]) => isRecording).map(([file]) => file);
const half = recordings.filter((file, i) => i % 2 === 0);
const setBack = recordings.filter((file, i) => i % 2 === 1);

// Those set back on the disk, away from track.
function setBackOnDisk(track) {
	for (const file of setBack) {
		const fd = fs.openSync(path.join(work, file), "r+");
		fs.writeSync(fd, Buffer.of(1 - track), 0, 1, 47);
		fs.closeSync(fd);
	}
}

// What a round must leave: each file as made, a recording's byte 47 the new
// track; got is [path, byte 47, hash as for its kind] for every file found.
function check(where, got, track) {
	got.sort((a, b) => (a[0] < b[0] ? -1 : 1));
	const found = got.map(([file]) => file).join("\n");
	if (found !== files.map(([file]) => file).join("\n")) throw new Error(`${where}: other files than the card's:\n${found}`);
	got.forEach(([file, byte, hash], i) => {
		const [, wanted, isRecording] = files[i];
		if (isRecording && byte !== (track & 0xff)) throw new Error(`${where}: ${file}: byte 47 is ${byte}, not ${track}`);
		if (hash !== wanted) throw new Error(`${where}: ${file}: its other bytes changed`);
	});
}
function checkDisk(track) {
	const got = [];
	const walk = (folder, under) => {
		for (const entry of fs.readdirSync(folder, { withFileTypes: true })) {
			const at = path.join(folder, entry.name);
			if (entry.isDirectory()) {
				walk(at, `${under}/${entry.name}`);
				continue;
			}
			const bytes = fs.readFileSync(at);
			const file = `${under}/${entry.name}`;
			got.push([file, bytes[47], file.endsWith(".kelv") ? skip47(bytes) : whole(bytes)]);
		}
	};
	walk(card, "CARD");
	check("Varnholt-open", got, track);
}

// Before each measure, the card is as on a card just put in: its files, and
// the profile's, written to the disk and dropped from the page cache (dd's
// nocache). So neither pays for the other's writing, and a page written
// again counts again, at the size it is read in: a file written in one go
// sits in the cache in folios of up to 2 MiB, and dirtying one byte of one
// counts the whole folio.
function cold(folder) {
	spawnSync("sync", ["-f", folder], { stdio: "inherit" });
	const walk = (at) => {
		let entries = [];
		try {
			entries = fs.readdirSync(at, { withFileTypes: true });
		} catch {
			return; // gone meanwhile (the browser's own files)
		}
		for (const entry of entries) {
			const inner = path.join(at, entry.name);
			if (entry.isDirectory()) walk(inner);
			else if (entry.isFile()) spawnSync("dd", [`if=${inner}`, "iflag=nocache", "count=0", "status=none"], { stdio: "ignore" });
		}
	};
	walk(folder);
}

// Varnholt-open on the card, answered once it asks: the time from the answer
// until it has ended, and the whole run's, and the bytes it wrote, which the
// kernel adds to this process's own count when it reaps it.
const writtenHere = () => procField("self", "io", "write_bytes");
function runOpen(track, already) {
	return new Promise((resolve, reject) => {
		const before = writtenHere();
		const started = performance.now();
		const child = spawn(tool, [card], { stdio: ["pipe", "pipe", "inherit"] });
		let out = "", answered = 0;
		child.stdout.setEncoding("utf8");
		child.stdout.on("data", (text) => {
			out += text;
			if (answered || !out.endsWith("(Enter alone or -1 writes nothing): ")) return;
			answered = performance.now();
			child.stdin.end(`${track}\n`);
		});
		child.on("error", reject);
		child.on("close", () => {
			const ended = performance.now();
			const bytes = writtenHere() - before;
			const last = `\nMain track ${track}: ${count - already} set, ${already} already right, 0 skipped, 0 failed.\n`;
			if (!answered || !out.endsWith(last)) reject(new Error(`Varnholt-open said:\n${out}`));
			else resolve([ended - answered, ended - started, bytes]);
		});
	});
}

// Once more under strace: the bytes of its write calls, by kind and by
// descriptor (strings left out of the log, so that no path is in it).
function traced(track, already) {
	const log = path.join(work, "strace.log");
	const run = spawnSync("strace", ["-f", "-qq", "-s", "0", "-e", "trace=pwrite64,write", "-o", log, tool, card],
		{ input: `${track}\n`, encoding: "utf8" });
	if (run.status !== 0 || !run.stdout.endsWith(`Main track ${track}: ${count - already} set, ${already} already right, ` +
		"0 skipped, 0 failed.\n")) throw new Error(`strace: ${run.stderr}${run.stdout}`);
	const calls = new Map();
	for (const text of fs.readFileSync(log, "utf8").split("\n").filter(Boolean)) {
		const call = /^(?:\d+ +)?(pwrite64|write)\((\d+), ""(?:\.\.\.)?, \d+(, \d+)?\) += (\d+)$/.exec(text);
		if (!call) throw new Error(`strace: ${text}`);
		const kind = call[1] === "write" && call[2] === "1" ? "write to standard output" :
			call[1] === "pwrite64" && call[3] === ", 47" ? "pwrite64 at offset 47" : `${call[1]} on ${call[2]}${call[3] || ""}`;
		const [calls0, bytes0] = calls.get(kind) || [0, 0];
		calls.set(kind, [calls0 + 1, bytes0 + Number(call[4])]);
	}
	return calls;
}

// The page over http from 127.0.0.1, so that it has an origin-private file
// system.
const server = http.createServer((request, response) => {
	if (request.url !== "/") return response.writeHead(404).end();
	response.writeHead(200, { "content-type": "text/html; charset=utf-8" }).end(fs.readFileSync(pageFile));
});
await new Promise((resolve) => server.listen(0, "127.0.0.1", resolve));
const url = `http://127.0.0.1:${server.address().port}/`;
const profile = path.join(work, "profile");
const browser = await launch("chromium", { profile, downloads: path.join(work, "downloads") });
const written = () => processTree(browser.pid).reduce((sum, pid) => sum + procField(pid, "io", "write_bytes"), 0);
// Each figure for none and for half already right, by round.
const results = {};
for (const figure of ["open", "openRun", "openBytes", "page", "pageBytes"]) results[figure] = { none: [], half: [] };
let failure = null;
try {
	const page = (await browser.newPage()).puppeteer;
	page.on("pageerror", (error) => { failure ||= error; });
	await page.goto(url);
	// The card into the origin-private file system: chosen in a field of this
	// benchmark's own, each file written there under its path.
	await page.evaluate(() => {
		const input = document.createElement("input");
		input.type = "file";
		input.multiple = true;
		input.id = "bench-card";
		input.hidden = true;
		document.body.append(input);
	});
	await (await page.$("#bench-card")).uploadFile(...files.map(([file]) => path.join(work, file)));
	await page.evaluate(async (names) => {
		const chosen = document.querySelector("#bench-card").files;
		const root = await navigator.storage.getDirectory();
		for (let i = 0; i < names.length; i++) {
			let dir = root;
			const parts = names[i].split("/");
			for (const part of parts.slice(0, -1)) dir = await dir.getDirectoryHandle(part, { create: true });
			const writable = await (await dir.getFileHandle(parts.at(-1), { create: true })).createWritable();
			await writable.write(chosen[i]);
			await writable.close();
		}
	}, files.map(([file]) => file));
	// The stand-in picker hands over that folder, as the real one would hand
	// over the card a person picks.
	await page.evaluateOnNewDocument(() => {
		window.showDirectoryPicker = async () => (await navigator.storage.getDirectory()).getDirectoryHandle("CARD");
	});
	// Those set back in the origin-private file system, away from track:
	// through the page, as the browser writes any file there.
	const setBackPrivate = (track) => page.evaluate(async (names, byte) => {
		const root = await navigator.storage.getDirectory();
		for (const name of names) {
			let dir = root;
			const parts = name.split("/");
			for (const part of parts.slice(0, -1)) dir = await dir.getDirectoryHandle(part);
			const writable = await (await dir.getFileHandle(parts.at(-1))).createWritable({ keepExistingData: true });
			await writable.write({ type: "write", position: 47, data: new Uint8Array([byte]) });
			await writable.close();
		}
	}, setBack, 1 - track);
	// Every file of the card in the origin-private file system, as checked.
	const privateFiles = () => page.evaluate(async () => {
		const hex = (buffer) => [...new Uint8Array(buffer)].map((b) => b.toString(16).padStart(2, "0")).join("");
		const got = [];
		const walk = async (dir, under) => {
			for await (const handle of dir.values()) {
				const at = `${under}/${handle.name}`;
				if (handle.kind === "directory") {
					await walk(handle, at);
					continue;
				}
				const file = await handle.getFile();
				const byte = new Uint8Array(await file.slice(47, 48).arrayBuffer())[0];
				const bytes = at.endsWith(".kelv") ? new Blob([file.slice(0, 47), file.slice(48)]) : file;
				got.push([at, byte, hex(await crypto.subtle.digest("SHA-256", await bytes.arrayBuffer()))]);
			}
		};
		await walk(await (await navigator.storage.getDirectory()).getDirectoryHandle("CARD"), "CARD");
		return got;
	});

	// The page: the card listed, the track typed, then "Set for all" timed
	// from its click until the summary is shown.
	async function onPage(track, already) {
		await page.goto(url);
		await page.click("button[name=pick-folder]");
		await page.waitForFunction((rows) => document.querySelectorAll("tr[data-name]").length === rows &&
			!document.querySelector("tr[data-state=reading]"), { timeout: 60000, polling: 50 }, 2 * count);
		await page.type("input[name=track-all]", String(track));
		await page.evaluate(() => {
			const summary = document.querySelector("#summary");
			window.saved = new Promise((resolve) => {
				document.querySelector("button[name=apply-all]").addEventListener("click", () => {
					const clicked = performance.now();
					new MutationObserver((records, observer) => {
						if (!summary.textContent) return; // emptied as the click starts
						observer.disconnect();
						resolve(performance.now() - clicked);
					}).observe(summary, { childList: true, characterData: true, subtree: true });
				}, { capture: true, once: true });
			});
		});
		cold(profile);
		const before = written();
		await page.click("button[name=apply-all]");
		const ms = await page.evaluate(() => window.saved);
		const bytes = written() - before;
		// Each row saved, or left as it is where it already had the track.
		const [summary, wrong] = await page.evaluate((main, left) => [document.querySelector("#summary").textContent,
			[...document.querySelectorAll("tr[data-tracks]")].filter((tr) => {
				const [state, status] = left.includes(tr.dataset.path)
					? ["already", `main track is already ${main}: left as it is`]
					: ["saved", `saved in place: main track is now ${main}`];
				return tr.dataset.state !== state || tr.querySelector(".status").textContent !== status;
			}).map((tr) => tr.dataset.path)], track, already ? half : []);
		if (summary !== `Main track ${track}: ${count - already} saved in place, 0 offered as download copies, ` +
			`${already} already right, 0 skipped, 0 failed.` || wrong.length)
			throw new Error(`the page: ${summary}; rows not as they should be: ${wrong.join(" ")}`);
		return [ms, bytes];
	}

	for (let round = 0; round < rounds; round++) {
		const track = round % 2; // the card has the other as the round starts
		for (const which of ["none", "half"]) {
			const already = which === "half" ? half.length : 0;
			if (already) setBackOnDisk(track);
			cold(card);
			const [openMs, openRun, openBytes] = await runOpen(track, already);
			checkDisk(track);
			if (already) await setBackPrivate(track);
			const [pageMs, pageBytes] = await onPage(track, already);
			check("the page", await privateFiles(), track);
			results.open[which].push(openMs);
			results.openRun[which].push(openRun);
			results.openBytes[which].push(openBytes);
			results.page[which].push(pageMs);
			results.pageBytes[which].push(pageBytes);
		}
	}
	if (failure) throw failure;
} finally {
	await browser.close();
	server.close();
}
// Under strace, once with none already right and once with half.
const last = rounds % 2;
const callsNone = traced(last, 0);
checkDisk(last);
setBackOnDisk(last);
const callsHalf = traced(last, half.length);
checkDisk(last);

const total = count * size;
const ratios = (a, b) => a.map((t, i) => t / b[i]);
const width = 62;
console.log(`${rounds} rounds, medians (ratios per round); the card: ${count} recordings of ${mib} MiB in ` +
	`${Math.ceil(count / 10)} folders and ${count} thumbnails of 2 KiB; none: no recording already has the ` +
	`track (the baseline), half: ${half.length} of ${count} already have it; load average before: ` +
	os.loadavg().map((l) => l.toFixed(1)).join(" "));
// A figure for none and for half, then half's over none's.
function both(label, figure, digits, ratioLabel) {
	line(`${label}, none`, results[figure].none, digits, width);
	line(`${label}, half`, results[figure].half, digits, width);
	line(ratioLabel, ratios(results[figure].half, results[figure].none), 2, width);
}
both("Varnholt-open: from the answer until it ends (ms)", "open", 1, "Varnholt-open time: half / none");
line("Varnholt-open: the whole run, listing included (ms), none", results.openRun.none, 1, width);
both("page: from \"Set for all\" until its summary (ms)", "page", 0, "page time: half / none");
line("time: page / Varnholt-open, none", ratios(results.page.none, results.open.none), 0, width);
both("Varnholt-open: bytes written (write_bytes)", "openBytes", 0, "Varnholt-open bytes: half / none");
both("browser, all processes: bytes written (write_bytes)", "pageBytes", 0, "browser bytes: half / none");
line("bytes: page / Varnholt-open, none", ratios(results.pageBytes.none, results.openBytes.none), 0, width);
line("browser's bytes / the recordings' bytes, none", results.pageBytes.none.map((b) => b / total), 2, width);
for (const [which, calls] of [["none", callsNone], ["half", callsHalf]]) {
	console.log(`  Varnholt-open under strace, ${which}, its write calls: ` +
		[...calls].map(([kind, [n, bytes]]) => `${kind}: ${n} calls, ${bytes} bytes`).join("; "));
}
