// Writes the app's files beside its index.html (which make-page.cmake
// writes): the manifest with its icons, and the service worker.
//   node make-app.mjs manifest.webmanifest service-worker.js VERSION APP ICONS
// The icons are the project's own PNGs in the folder ICONS, drawn from its
// SVG and committed, so the same sources give the same bytes on any machine:
// varnholt-<size>.png for "any", and varnholt-square-<size>.png, whose
// background is square to the edges, for "maskable" (the system rounds or
// masks it itself). They are data: URLs, as the page's policy loads images
// from nowhere else (Chromium fetches the manifest's icons under it too).
import fs from "node:fs";
import path from "node:path";

const [manifestFile, workerFile, version, out, icons] = process.argv.slice(2);
if (!icons)
	throw new Error("usage: node make-app.mjs manifest.webmanifest service-worker.js VERSION APP ICONS");
const manifest = JSON.parse(fs.readFileSync(manifestFile, "utf8"));

fs.mkdirSync(out, { recursive: true });
for (const icon of manifest.icons) {
	const size = /^(\d+)x\1$/.exec(icon.sizes);
	if (icon.src !== "@PNG@" || !size || icon.type !== "image/png")
		throw new Error(`the manifest's icon ${icon.src} ${icon.sizes}: not a square PNG to fill in ("src": "@PNG@")`);
	const square = (icon.purpose ?? "any").split(" ").includes("maskable");
	const file = path.join(icons, `varnholt-${square ? "square-" : ""}${size[1]}.png`);
	const png = fs.readFileSync(file);
	// A PNG's IHDR gives its width and height at bytes 16 and 20.
	if (png.readUInt32BE(16) !== Number(size[1]) || png.readUInt32BE(20) !== Number(size[1]))
		throw new Error(`${file} is not ${icon.sizes}`);
	icon.src = "data:image/png;base64," + png.toString("base64");
}
fs.writeFileSync(path.join(out, path.basename(manifestFile)), JSON.stringify(manifest, null, 2) + "\n");

// The worker caches the page ("./", as the folder is served) and the
// manifest, under the release's version.
const worker = fs.readFileSync(workerFile, "utf8");
if (!worker.includes('"@VERSION@"') || !worker.includes("[/* @FILES@ */]"))
	throw new Error(`${workerFile} has no place for the version or the files`);
fs.writeFileSync(path.join(out, path.basename(workerFile)), worker.replace('"@VERSION@"', JSON.stringify(version))
	.replace("[/* @FILES@ */]", JSON.stringify(["./", path.basename(manifestFile)])));
