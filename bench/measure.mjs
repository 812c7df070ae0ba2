// What the page's benchmarks share: medians, their printed lines, and the
// processes of a browser.
import fs from "node:fs";

export const median = (values) => values.slice().sort((a, b) => a - b)[Math.floor(values.length / 2)];

// One figure: its median, then each round's value.
export const line = (label, values, digits = 0, width = 52) =>
	console.log(`  ${label.padEnd(width)} ${median(values).toFixed(digits).padStart(5)}  (${values.map((t) => t.toFixed(digits)).join(" ")})`);

// The process root and every process under it, as /proc names them.
export function processTree(root) {
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
	const found = [];
	for (const pending = [String(root)]; pending.length;) {
		const pid = pending.pop();
		found.push(pid);
		pending.push(...(children.get(pid) || []));
	}
	return found;
}

// A number from a /proc file of the process ("VmRSS" in status, "write_bytes"
// in io), 0 once it is gone.
export function procField(pid, file, field) {
	try {
		const text = fs.readFileSync(`/proc/${pid}/${file}`, "utf8");
		return Number(new RegExp(`^${field}:\\s+(\\d+)`, "m").exec(text)?.[1] || 0);
	} catch {
		return 0; // gone meanwhile
	}
}
