// Varnholt-open on big cards, in the same run:
//  - two trees of 64-byte recordings (main track 0, two or three tracks,
//    random bytes otherwise), each folder with two 2 KiB thumbnails: 250,000
//    recordings in 500 folders (BIG/DCIM/100, ...) and 16,000 in 80;
//  - each round, on each tree, a dry run (--dry-run --track 1) against the
//    floor of reading every file's first 512 bytes,
//      find TREE -type f -print0 | xargs -0 head -q -c 512 >/dev/null
//    (run by sh -c), the two in turn, each first in every other round, their
//    page cache warm (each ran once before the first round): wall time and
//    CPU time (user and system, the pipeline's processes summed), and their
//    ratios, the dry run's over the floor's, round by round;
//  - what the undo record costs: the 16,000 set in place (--track, 1 and 0
//    in turn, so that every session writes all 16,000), with a record and
//    without one (XDG_STATE_HOME under a regular file, where no state
//    folder can be made), the two in turn, each first in every other round,
//    after a sync so that each starts with nothing left to write back; the
//    time of each, their ratio, and the record's size;
//  - the 250,000 set in place with a record, --track 1 then --track 0 back,
//    once a round: the peak resident memory of each (ru_maxrss from wait4,
//    by bench/once.c; /bin/true run by it gives its floor) and its time;
//  - after each setting, every recording's byte 47 the track set and every
//    other byte as made; after a dry run, its summary line;
//  - at the end, the dry run and the floor on the 16,000 under strace -f -c:
//    their system calls per file of the tree.
// Each command is started by bench/once.c (posix_spawn, standard output to
// /dev/null), which prints its time, peak memory and CPU time. Every run
// has XDG_STATE_HOME in a temporary folder, removed at the end with the
// trees; nothing is written into the home folder. Medians of the rounds,
// then each round's value. The trees take about 1 GiB of disk (a block
// each), 252,000 inodes, and a minute or two to make.
//   cmake --preset ci -DBUILD_TESTING=OFF && cmake --build --preset ci
//   node bench/scale.mjs build/ci/Varnholt-open [rounds (9)]
import { spawnSync } from "node:child_process";
import crypto from "node:crypto";
import fs from "node:fs";
import os from "node:os";
import path from "node:path";
import { fileURLToPath } from "node:url";
import { line, median } from "./measure.mjs";

const tool = process.argv[2];
const rounds = Number(process.argv[3] || 9);
if (!tool || !fs.existsSync(tool) || !(rounds >= 1 && rounds <= 100)) {
	console.error("usage: node bench/scale.mjs path/to/Varnholt-open [rounds (9)]");
	process.exit(2);
}
const work = fs.mkdtempSync(path.join(os.tmpdir(), "scale-bench-"));
process.on("exit", () => fs.rmSync(work, { recursive: true, force: true }));
process.on("SIGINT", () => process.exit(130));
process.on("SIGTERM", () => process.exit(143));

const state = path.join(work, "state");
const notFolder = path.join(work, "not-a-folder");
fs.writeFileSync(notFolder, "");
const withRecord = { ...process.env, XDG_STATE_HOME: state };
const withoutRecord = { ...process.env, XDG_STATE_HOME: path.join(notFolder, "state") };
const records = path.join(state, "varnholt");

const once = path.join(work, "once");
const cc = process.env.CC || "cc";
const here = path.dirname(fileURLToPath(import.meta.url));
const built = spawnSync(cc, ["-O2", "-o", once, path.join(here, "once.c")], { stdio: "inherit" });
if (built.status !== 0) throw new Error(`${cc} could not build bench/once.c`);

// One command through once: its time (ms), peak memory (KiB), CPU time (ms).
function run(argv, env = withRecord) {
	const result = spawnSync(once, argv, { env, encoding: "utf8" });
	if (result.status !== 0) throw new Error(`${argv.join(" ")}: ${result.stderr}`);
	const [ns, kib, user, system] = result.stdout.trim().split(" ").map(Number);
	return { ms: ns / 1e6, kib, cpu: (user + system) / 1e3 };
}

// A tree of folders × each recordings, and a hash of every recording's
// bytes but byte 47, in the order of names().
function makeTree(name, folders, each) {
	const tree = path.join(work, name);
	const names = [];
	const recording = Buffer.alloc(64);
	const thumbnail = Buffer.alloc(2048, 0xff);
	for (let f = 0; f < folders; f++) {
		const folder = path.join(tree, "DCIM", String(100 + f));
		fs.mkdirSync(folder, { recursive: true });
		for (let i = 0; i < each; i++) {
			crypto.randomFillSync(recording);
			recording.write("KELV", 38, "latin1");
			recording[45] = 2 + (i % 2);
			recording[47] = 0;
			const file = path.join(folder, `CLIP${String(i).padStart(4, "0")}.kelv`);
			fs.writeFileSync(file, recording);
			names.push(file);
		}
		for (const thumb of ["THM0.JPG", "THM1.JPG"]) fs.writeFileSync(path.join(folder, thumb), thumbnail);
	}
	const made = { path: tree, folders, count: folders * each, names };
	made.hash = hashTree(made, null);
	return made;
}

// The hash of every recording but byte 47, which must be track (unless null).
function hashTree(tree, track) {
	const hash = crypto.createHash("sha256");
	for (const file of tree.names) {
		const bytes = fs.readFileSync(file);
		if (track !== null && bytes[47] !== track) throw new Error(`${file}: byte 47 is ${bytes[47]}, not ${track}`);
		hash.update(bytes.subarray(0, 47)).update(bytes.subarray(48));
	}
	return hash.digest("hex");
}
function checkTree(tree, track) {
	if (hashTree(tree, track) !== tree.hash) throw new Error(`${tree.path}: a byte other than 47 changed`);
}

const recordNames = () => (fs.existsSync(records) ? fs.readdirSync(records).sort() : []);
const newestRecord = () => path.join(records, recordNames().filter((n) => n.endsWith(".record")).pop());

let started = performance.now();
const big = makeTree("BIG", 500, 500);
const small = makeTree("SMALL", 80, 200);
const makingSeconds = (performance.now() - started) / 1000;

const dryRun = (tree) => [tool, "--dry-run", "--track", "1", tree.path];
const floor = (tree) => ["sh", "-c", 'find "$1" -type f -print0 | xargs -0 head -q -c 512 >/dev/null', "sh", tree.path];

// Each once before the rounds: the page cache warm, the dry run's summary
// checked.
for (const tree of [big, small]) {
	const said = spawnSync(tool, dryRun(tree).slice(1), { env: withRecord, encoding: "utf8", maxBuffer: 1 << 26 });
	const wanted = `Main track 1, a dry run: ${tree.count} would be set, 0 already right, 0 skipped. Nothing was written.\n`;
	if (said.status !== 0 || !said.stdout.endsWith(wanted)) throw new Error(`the dry run said:\n${said.stdout.slice(-2000)}${said.stderr}`);
	run(floor(tree));
}
if (recordNames().length) throw new Error("a dry run left a record");

const load = os.loadavg().map((l) => l.toFixed(1)).join(" ");
const dry = { big: { tool: [], floor: [] }, small: { tool: [], floor: [] } };
for (let round = 0; round < rounds; round++)
	for (const [which, tree] of [["big", big], ["small", small]]) {
		const order = round % 2 ? ["floor", "tool"] : ["tool", "floor"];
		for (const who of order) dry[which][who].push(run(who === "tool" ? dryRun(tree) : floor(tree)));
	}
checkTree(big, 0);
checkTree(small, 0);

// The 16,000 set in place, with a record and without, each session writing
// all of them: the tracks go 1, 0, 1, 0, ... session by session.
const undo = { with: [], without: [], size: [] };
let track = 0;
for (let round = 0; round < rounds; round++) {
	const order = round % 2 ? ["without", "with"] : ["with", "without"];
	for (const how of order) {
		track = 1 - track;
		spawnSync("sync");
		const before = recordNames();
		undo[how].push(run([tool, "--track", String(track), small.path], how === "with" ? withRecord : withoutRecord));
		checkTree(small, track);
		const after = recordNames();
		if (how === "without" && after.join("\n") !== before.join("\n")) throw new Error("a session without a record left one");
		if (how === "with") {
			const record = newestRecord();
			if (before.includes(path.basename(record))) throw new Error("a session with a record left none");
			const text = fs.readFileSync(record, "latin1");
			if (!text.includes(`\nrecordings ${small.count}\t`)) throw new Error(`${record} is not for ${small.count} recordings`);
			undo.size.push(fs.statSync(record).size);
		}
	}
}

// The 250,000 set and set back, with a record each.
const setting = { one: [], zero: [], size: [] };
const floorKib = median(Array.from({ length: 5 }, () => run(["/bin/true"]).kib));
for (let round = 0; round < rounds; round++)
	for (const [to, into] of [[1, setting.one], [0, setting.zero]]) {
		spawnSync("sync");
		into.push(run([tool, "--track", String(to), big.path]));
		checkTree(big, to);
		if (to === 1) setting.size.push(fs.statSync(newestRecord()).size);
	}

// The system calls of a command under strace -f -c, per file of the tree.
function syscalls(argv, tree) {
	const files = tree.count + 2 * tree.folders;
	const out = path.join(work, "strace.txt");
	const traced = spawnSync("strace", ["-f", "-c", "-o", out, ...argv], { env: withRecord, stdio: "ignore" });
	if (traced.error || traced.status !== 0) return "no strace";
	const counts = fs.readFileSync(out, "utf8").split("\n").map((row) => row.trim().split(/\s+/))
		.filter((cells) => /^[\d.]+$/.test(cells[0]) && cells.length >= 5)
		.map((cells) => [cells[cells.length - 1], Number(cells[3]) / files])
		.filter(([call, each]) => call !== "total" && each >= 0.1).sort((a, b) => b[1] - a[1]);
	const sum = counts.reduce((total, [, each]) => total + each, 0);
	return `${counts.map(([call, each]) => `${call} ${each.toFixed(1)}`).join(", ")} (${sum.toFixed(1)})`;
}
const traced = { tool: syscalls(dryRun(small), small), floor: syscalls(floor(small), small) };

const pick = (runs, field) => runs.map((r) => r[field]);
const ratio = (a, b, field) => a.map((r, i) => r[field] / b[i][field]);
const mib = (kib) => kib / 1024;
console.log(`${rounds} rounds, medians (then each round); trees made in ${makingSeconds.toFixed(0)} s; load average before the rounds: ${load}`);
for (const [which, tree, goal] of [["big", big, 1.3], ["small", small, 1.2]]) {
	const { tool: t, floor: f } = dry[which];
	console.log(`${tree.count} recordings in ${tree.folders} folders, dry run against find | xargs head (goal: time ratio <= ${goal}):`);
	line("dry run: ms", pick(t, "ms"), 1);
	line("find | xargs head: ms", pick(f, "ms"), 1);
	line("time: dry run / find | xargs head", ratio(t, f, "ms"), 3);
	line("dry run: CPU ms (user + system)", pick(t, "cpu"), 1);
	line("find | xargs head: CPU ms, its processes summed", pick(f, "cpu"), 1);
	line("CPU: dry run / find | xargs head", ratio(t, f, "cpu"), 3);
	line("dry run: peak resident memory (MiB)", pick(t, "kib").map(mib), 1);
}
console.log(`${small.count} recordings set in place, each session writing all of them, with an undo record and without:`);
line("with a record: ms", pick(undo.with, "ms"), 1);
line("without: ms", pick(undo.without, "ms"), 1);
line("time: with / without", ratio(undo.with, undo.without, "ms"), 3);
line("with a record: CPU ms", pick(undo.with, "cpu"), 1);
line("without: CPU ms", pick(undo.without, "cpu"), 1);
line("the record (bytes)", undo.size, 0);
console.log(`${big.count} recordings set in place with a record (goal: peak resident memory <= 64 MiB; /bin/true through once: ${mib(floorKib).toFixed(1)} MiB):`);
line("--track 1: peak resident memory (MiB)", pick(setting.one, "kib").map(mib), 1);
line("--track 0, set back: peak resident memory (MiB)", pick(setting.zero, "kib").map(mib), 1);
line("--track 1: ms", pick(setting.one, "ms"), 0);
line("--track 0, set back: ms", pick(setting.zero, "ms"), 0);
line("the record (bytes)", setting.size, 0);
console.log(`System calls per file of the ${small.count} recordings' tree (strace -f -c; those made at least once every ten files):`);
console.log(`  dry run: ${traced.tool}`);
console.log(`  find | xargs head: ${traced.floor}`);
