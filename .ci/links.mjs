// Every relative link in the project's Markdown points to a file that
// exists, and every #anchor to a heading of that file, named as GitHub names
// it (lower case, punctuation dropped, spaces as hyphens, a repeated heading
// with -1, -2 after it). Links to other sites are not followed. Prints each
// broken link and fails when there is one.
//   node .ci/links.mjs [folder (the repository root)]
import fs from "node:fs";
import path from "node:path";

const root = path.resolve(process.argv[2] || ".");
const skipped = new Set([".git", "build", "dist", "node_modules"]);

function markdown(folder) {
	return fs.readdirSync(folder, { withFileTypes: true }).flatMap((entry) => {
		if (skipped.has(entry.name)) return [];
		const at = path.join(folder, entry.name);
		if (entry.isDirectory()) return markdown(at);
		return entry.name.endsWith(".md") ? [at] : [];
	});
}

// The text outside fenced code blocks, a line at a time.
const prose = (file) => {
	let fenced = false;
	return fs.readFileSync(file, "utf8").split("\n").filter((line) => {
		if (/^\s*(```|~~~)/.test(line)) {
			fenced = !fenced;
			return false;
		}
		return !fenced;
	});
};

const anchors = new Map();
function anchorsOf(file) {
	if (!anchors.has(file)) {
		const seen = new Map();
		const found = new Set();
		for (const line of prose(file)) {
			const heading = /^#{1,6}\s+(.*?)\s*#*\s*$/.exec(line);
			if (!heading) continue;
			const slug = heading[1].toLowerCase().replace(/[^\p{L}\p{N}\s_-]/gu, "").replace(/\s/g, "-");
			const times = seen.get(slug) || 0;
			seen.set(slug, times + 1);
			found.add(times ? `${slug}-${times}` : slug);
		}
		anchors.set(file, found);
	}
	return anchors.get(file);
}

let broken = 0;
const files = markdown(root).sort();
for (const file of files) {
	prose(file).forEach((line, index) => {
		// Inline code is not a link.
		const text = line.replace(/`[^`]*`/g, "");
		for (const [, target] of text.matchAll(/!?\[[^\]]*\]\(\s*<?([^)\s>]*)>?(?:\s+"[^"]*")?\s*\)/g)) {
			if (/^[a-z][a-z0-9+.-]*:/i.test(target)) continue; // another site, or mail
			const [where, anchor] = target.split("#");
			const linked = where ? path.resolve(path.dirname(file), decodeURIComponent(where)) : file;
			const at = `${path.relative(root, file)}:${index + 1}: ${target}`;
			if (!fs.existsSync(linked)) {
				console.log(`${at}: no such file`);
				broken++;
			} else if (anchor !== undefined && !(linked.endsWith(".md") && anchorsOf(linked).has(anchor))) {
				console.log(`${at}: no such heading`);
				broken++;
			}
		}
	});
}
console.log(`${files.length} Markdown files, ${broken} broken links`);
process.exit(broken ? 1 : 0);
