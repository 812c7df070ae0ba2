// The plan of a big card, Varnholt-open against an older Varnholt-open (1.5.0,
// which listed every recording in four lines), in the same run:
//  - the card: 16,000 recordings of 64 bytes in 80 folders of 200
//    (CARD/DCIM/100, ...), each folder with two thumbnails;
//  - each round, each program in turn on the card, its page cache warm: the
//    time from its start until it asks, the lines and bytes it printed
//    before the question, and the whole run's time once Enter alone is
//    answered (nothing is written);
//  - after the last round, every file as made: nothing was written.
// Medians of the rounds, and the ratio of the two in each round.
//   cmake --preset dev && cmake --build --preset dev
//   git worktree add /tmp/varnholt-1.5.0 02dd311 &&
//   cmake -S /tmp/varnholt-1.5.0 -B /tmp/varnholt-1.5.0/build -DBUILD_TESTING=OFF &&
//   cmake --build /tmp/varnholt-1.5.0/build
//   node bench/plan.mjs build/dev/Varnholt-open /tmp/varnholt-1.5.0/build/Varnholt-open [rounds]
import { spawn } from "node:child_process";
import crypto from "node:crypto";
import fs from "node:fs";
import os from "node:os";
import path from "node:path";
import { line, median } from "./measure.mjs";

const [tool, older] = process.argv.slice(2, 4);
const rounds = Number(process.argv[4] || 9);
if (!tool || !fs.existsSync(tool) || !older || !fs.existsSync(older) || !(rounds >= 1 && rounds <= 100)) {
	console.error("usage: node bench/plan.mjs path/to/Varnholt-open path/to/older/Varnholt-open [rounds (9)]");
	process.exit(2);
}
const work = fs.mkdtempSync(path.join(os.tmpdir(), "plan-bench-"));
process.on("exit", () => fs.rmSync(work, { recursive: true, force: true }));

const folders = 80, each = 200;
const card = path.join(work, "CARD");
const recording = Buffer.alloc(64);
const made = crypto.createHash("sha256");
for (let f = 0; f < folders; f++) {
	const folder = path.join(card, "DCIM", String(100 + f));
	fs.mkdirSync(folder, { recursive: true });
	for (let i = 0; i < each; i++) {
		crypto.randomFillSync(recording);
		recording.write("KELV", 38, "latin1");
		recording[45] = 2 + (i % 2);
		recording[47] = i % 3 === 0 ? 1 : 0;
		fs.writeFileSync(path.join(folder, `CLIP${String(i).padStart(4, "0")}.kelv`), recording);
		made.update(recording);
	}
	for (const thumbnail of ["THM0.JPG", "THM1.JPG"]) fs.writeFileSync(path.join(folder, thumbnail), Buffer.alloc(2048, 0xff));
}
const madeHash = made.digest("hex");

// One run on the card, answered with Enter alone once it asks.
function run(program) {
	return new Promise((resolve, reject) => {
		const started = performance.now();
		const child = spawn(program, [card], { stdio: ["pipe", "pipe", "inherit"] });
		let out = "", asked = 0, plan = "";
		child.stdout.setEncoding("utf8");
		child.stdout.on("data", (text) => {
			out += text;
			if (asked || !out.endsWith("(Enter alone or -1 writes nothing): ")) return;
			asked = performance.now();
			plan = out;
			child.stdin.end("\n");
		});
		child.on("error", reject);
		child.on("close", () => {
			const ended = performance.now();
			if (!asked || !out.endsWith("Nothing was written.\n")) reject(new Error(`${program} said:\n${out.slice(-2000)}`));
			else resolve({ plan: asked - started, whole: ended - started, lines: plan.split("\n").length, bytes: Buffer.byteLength(plan) });
		});
	});
}

const results = { tool: [], older: [] };
for (let round = 0; round < rounds; round++) {
	// Each first in turn, so that neither always meets the other's cache.
	const order = round % 2 ? ["older", "tool"] : ["tool", "older"];
	for (const which of order) results[which].push(await run(which === "tool" ? tool : older));
}

const after = crypto.createHash("sha256");
for (let f = 0; f < folders; f++)
	for (let i = 0; i < each; i++)
		after.update(fs.readFileSync(path.join(card, "DCIM", String(100 + f), `CLIP${String(i).padStart(4, "0")}.kelv`)));
if (after.digest("hex") !== madeHash) throw new Error("a recording was written");

const pick = (which, field) => results[which].map((r) => r[field]);
const ratio = (field) => results.tool.map((r, i) => r[field] / results.older[i][field]);
console.log(`A card of ${folders * each} recordings in ${folders} folders, ${rounds} rounds (medians, then each round):`);
line("this Varnholt-open: ms until the question", pick("tool", "plan"), 1);
line("the older one: ms until the question", pick("older", "plan"), 1);
line("ratio, this to the older", ratio("plan"), 3);
line("this Varnholt-open: ms for the whole run", pick("tool", "whole"), 1);
line("the older one: ms for the whole run", pick("older", "whole"), 1);
line("ratio, this to the older", ratio("whole"), 3);
console.log(`  lines before the question: ${median(pick("tool", "lines"))} against ${median(pick("older", "lines"))}`);
console.log(`  bytes before the question: ${median(pick("tool", "bytes"))} against ${median(pick("older", "bytes"))}`);
