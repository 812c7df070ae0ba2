// Writes the app's files beside its index.html (which make-page.cmake
// writes): the manifest with its icons and the service worker; and the
// PNG of the page's apple-touch-icon, which make-page.cmake puts in the page.
//   node make-app.mjs page.html manifest.webmanifest service-worker.js VERSION APP TOUCH_ICON
// The icons are the page's favicon (the SVG in page.html) drawn at the sizes
// the manifest and the page's apple-touch-icon link ask for: a "maskable"
// icon, and the one for the home screen of an iPhone or iPad, have their
// background square to the edges, as those systems round or mask it
// themselves. They are data: URLs, as the page's policy loads images from
// nowhere else (Chromium fetches the manifest's icons under it too). The PNGs
// are written by this script alone, so the same sources give the same bytes
// on any machine.
import fs from "node:fs";
import path from "node:path";
import zlib from "node:zlib";

const [pageFile, manifestFile, workerFile, version, out, touchFile] = process.argv.slice(2);
if (!touchFile)
	throw new Error("usage: node make-app.mjs page.html manifest.webmanifest service-worker.js VERSION APP TOUCH_ICON");
const page = fs.readFileSync(pageFile, "utf8");
const manifest = JSON.parse(fs.readFileSync(manifestFile, "utf8"));

const favicon = /<link rel="icon" href="data:image\/svg\+xml,([^"]*)">/.exec(page);
const touch = /<link rel="apple-touch-icon" sizes="(\d+)x\1" href="@TOUCH_ICON@">/.exec(page);
if (!favicon || !touch) throw new Error(`${pageFile} has no SVG favicon or no apple-touch-icon link`);
const svg = decodeURIComponent(favicon[1]);

// The favicon's shapes, in the order they are painted: a rectangle with
// round corners (x, y, width, height, rx) or a path of straight lines
// (polygons, filled even-odd), each with its colour. Nothing else is drawn;
// anything else in the SVG stops the build.
const attributes = (text) => Object.fromEntries([...text.matchAll(/([\w-]+)='([^']*)'/g)].map((m) => [m[1], m[2]]));
const colour = (text) => {
	const hex = /^#([0-9a-f]{3}|[0-9a-f]{6})$/i.exec(text);
	if (!hex) throw new Error(`the favicon's colour ${text} is not #rgb or #rrggbb`);
	const digits = hex[1].length === 3 ? [...hex[1]].map((d) => d + d) : hex[1].match(/../g);
	return digits.map((d) => parseInt(d, 16));
};
function pathPolygons(d) {
	const polygons = [];
	let x = 0, y = 0, polygon = null;
	const tokens = d.match(/[a-zA-Z]|-?\d*\.?\d+/g);
	for (let i = 0; i < tokens.length;) {
		const command = tokens[i++];
		const number = () => {
			const value = Number(tokens[i++]);
			if (Number.isNaN(value)) throw new Error(`the favicon's path ${d}: a number is missing`);
			return value;
		};
		const relative = command === command.toLowerCase();
		switch (command.toLowerCase()) {
		case "m":
		case "l": {
			const nx = number(), ny = number();
			x = relative ? x + nx : nx;
			y = relative ? y + ny : ny;
			if (command.toLowerCase() === "l") break;
			polygons.push((polygon = [[x, y]]));
			continue;
		}
		case "h": x = relative ? x + number() : number(); break;
		case "v": y = relative ? y + number() : number(); break;
		case "z":
			[x, y] = polygon[0];
			continue;
		default: throw new Error(`the favicon's path ${d}: no drawing for "${command}"`);
		}
		polygon.push([x, y]);
	}
	return polygons;
}
const viewBox = /<svg [^>]*viewBox='0 0 (\d+) \1'/.exec(svg);
if (!viewBox) throw new Error("the favicon has no square viewBox from 0 0");
const unit = Number(viewBox[1]);
const shapes = [...svg.matchAll(/<(\w+) ([^>]*?)\/>/g)].map(([, kind, text]) => {
	const a = attributes(text);
	if (kind === "rect") {
		return { kind, fill: colour(a.fill), x: Number(a.x ?? 0), y: Number(a.y ?? 0),
			width: Number(a.width), height: Number(a.height), rx: Number(a.rx ?? 0) };
	}
	if (kind === "path") return { kind, fill: colour(a.fill), polygons: pathPolygons(a.d) };
	throw new Error(`the favicon has a <${kind}>, which this script does not draw`);
});
if (svg.replace(/<(\w+) ([^>]*?)\/>/g, "").replace(/<svg [^>]*>|<\/svg>/g, "") !== "")
	throw new Error("the favicon holds more than rectangles and paths");

function inside(shape, x, y, square) {
	if (shape.kind === "rect") {
		const { x: left, y: top, width, height } = shape;
		if (x < left || x >= left + width || y < top || y >= top + height) return false;
		const r = square ? 0 : Math.min(shape.rx, width / 2, height / 2);
		const dx = Math.max(left + r - x, x - (left + width - r), 0);
		const dy = Math.max(top + r - y, y - (top + height - r), 0);
		return dx * dx + dy * dy <= r * r;
	}
	let crossings = 0;
	for (const polygon of shape.polygons) {
		for (let i = 0, j = polygon.length - 1; i < polygon.length; j = i++) {
			const [xi, yi] = polygon[i], [xj, yj] = polygon[j];
			if ((yi > y) !== (yj > y) && x < xj + ((y - yj) * (xi - xj)) / (yi - yj)) crossings++;
		}
	}
	return crossings % 2 === 1;
}

// RGBA pixels, each the mean of 4 x 4 samples. With square corners the
// first rectangle, the background, also covers the whole icon.
const SAMPLES = 4;
function draw(size, square) {
	const pixels = Buffer.alloc(size * size * 4);
	for (let py = 0; py < size; py++) {
		for (let px = 0; px < size; px++) {
			let r = 0, g = 0, b = 0, a = 0;
			for (let sy = 0; sy < SAMPLES; sy++) {
				for (let sx = 0; sx < SAMPLES; sx++) {
					const x = ((px + (sx + 0.5) / SAMPLES) * unit) / size;
					const y = ((py + (sy + 0.5) / SAMPLES) * unit) / size;
					let fill = null;
					for (const [i, shape] of shapes.entries()) {
						if ((square && i === 0) || inside(shape, x, y, square)) fill = shape.fill;
					}
					if (!fill) continue;
					r += fill[0];
					g += fill[1];
					b += fill[2];
					a++;
				}
			}
			const at = (py * size + px) * 4;
			if (a) pixels.set([Math.round(r / a), Math.round(g / a), Math.round(b / a)], at);
			pixels[at + 3] = Math.round((a * 255) / (SAMPLES * SAMPLES));
		}
	}
	return pixels;
}

const crcTable = Array.from({ length: 256 }, (_, n) => {
	let c = n;
	for (let k = 0; k < 8; k++) c = c & 1 ? 0xedb88320 ^ (c >>> 1) : c >>> 1;
	return c >>> 0;
});
function crc32(bytes) {
	let c = 0xffffffff;
	for (const byte of bytes) c = crcTable[(c ^ byte) & 0xff] ^ (c >>> 8);
	return (c ^ 0xffffffff) >>> 0;
}
function adler32(bytes) {
	let a = 1, b = 0;
	for (const byte of bytes) {
		a = (a + byte) % 65521;
		b = (b + a) % 65521;
	}
	return ((b << 16) | a) >>> 0;
}

// A zlib stream of one deflate block with the fixed Huffman codes, repeats
// found at the given distances only (the pixel before, the row above): a
// few lines of code whose output depends on nothing but the input, unlike a
// zlib library's, and small for a drawing of flat colours.
const LENGTHS = [3, 4, 5, 6, 7, 8, 9, 10, 11, 13, 15, 17, 19, 23, 27, 31, 35, 43, 51, 59, 67, 83, 99, 115, 131,
	163, 195, 227, 258];
const LENGTH_BITS = [0, 0, 0, 0, 0, 0, 0, 0, 1, 1, 1, 1, 2, 2, 2, 2, 3, 3, 3, 3, 4, 4, 4, 4, 5, 5, 5, 5, 0];
const DISTANCES = [1, 2, 3, 4, 5, 7, 9, 13, 17, 25, 33, 49, 65, 97, 129, 193, 257, 385, 513, 769, 1025, 1537,
	2049, 3073, 4097, 6145, 8193, 12289, 16385, 24577];
const DISTANCE_BITS = [0, 0, 0, 0, 1, 1, 2, 2, 3, 3, 4, 4, 5, 5, 6, 6, 7, 7, 8, 8, 9, 9, 10, 10, 11, 11, 12, 12,
	13, 13];
function deflate(data, distances) {
	const bytes = [];
	let bits = 0, count = 0;
	const put = (value, width) => { // least significant bit first
		bits |= value << count;
		count += width;
		while (count >= 8) {
			bytes.push(bits & 0xff);
			bits >>>= 8;
			count -= 8;
		}
	};
	const code = (value, width) => { // Huffman codes go most significant bit first
		let reversed = 0;
		for (let i = 0; i < width; i++) reversed |= ((value >> i) & 1) << (width - 1 - i);
		put(reversed, width);
	};
	const symbol = (s) => {
		if (s < 144) code(0x30 + s, 8);
		else if (s < 256) code(0x190 + s - 144, 9);
		else if (s < 280) code(s - 256, 7);
		else code(0xc0 + s - 280, 8);
	};
	const last = (table, value) => table.findLastIndex((base) => base <= value);
	put(1, 1); // the last block
	put(1, 2); // fixed codes
	for (let i = 0; i < data.length;) {
		let length = 0, distance = 0;
		for (const d of distances) {
			if (d > i) continue;
			let n = 0;
			while (n < 258 && i + n < data.length && data[i + n] === data[i + n - d]) n++;
			if (n > length) [length, distance] = [n, d];
		}
		if (length < 3) {
			symbol(data[i++]);
			continue;
		}
		const l = last(LENGTHS, length), d = last(DISTANCES, distance);
		symbol(257 + l);
		put(length - LENGTHS[l], LENGTH_BITS[l]);
		code(d, 5);
		put(distance - DISTANCES[d], DISTANCE_BITS[d]);
		i += length;
	}
	symbol(256);
	if (count) put(0, 8 - count);
	const adler = Buffer.alloc(4);
	adler.writeUInt32BE(adler32(data));
	return Buffer.concat([Buffer.from([0x78, 0x01]), Buffer.from(bytes), adler]);
}

function chunk(type, data) {
	const head = Buffer.alloc(8);
	head.writeUInt32BE(data.length);
	head.write(type, 4, "latin1");
	const crc = Buffer.alloc(4);
	crc.writeUInt32BE(crc32(Buffer.concat([head.subarray(4), data])));
	return Buffer.concat([head, data, crc]);
}

// A PNG of the pixels: RGB where every pixel is opaque (a home screen
// shows a transparent one on black), else RGBA; each row unfiltered.
function png(size, pixels) {
	const opaque = pixels.every((byte, i) => i % 4 !== 3 || byte === 255);
	const channels = opaque ? 3 : 4;
	const stride = 1 + size * channels;
	const raw = Buffer.alloc(size * stride);
	for (let y = 0; y < size; y++) {
		for (let x = 0; x < size; x++) {
			const from = (y * size + x) * 4;
			pixels.copy(raw, y * stride + 1 + x * channels, from, from + channels);
		}
	}
	const compressed = deflate(raw, [channels, stride]);
	if (!zlib.inflateSync(compressed).equals(raw)) throw new Error("the PNG's deflate stream does not read back");
	const header = Buffer.alloc(13);
	header.writeUInt32BE(size, 0);
	header.writeUInt32BE(size, 4);
	header.set([8, opaque ? 2 : 6, 0, 0, 0], 8);
	return Buffer.concat([Buffer.from([0x89, 0x50, 0x4e, 0x47, 0x0d, 0x0a, 0x1a, 0x0a]),
		chunk("IHDR", header), chunk("IDAT", compressed), chunk("IEND", Buffer.alloc(0))]);
}

fs.mkdirSync(out, { recursive: true });
for (const icon of manifest.icons) {
	const size = /^(\d+)x\1$/.exec(icon.sizes);
	if (icon.src !== "@PNG@" || !size || icon.type !== "image/png")
		throw new Error(`the manifest's icon ${icon.src} ${icon.sizes}: not a square PNG to draw ("src": "@PNG@")`);
	const square = (icon.purpose ?? "any").split(" ").includes("maskable");
	icon.src = "data:image/png;base64," + png(Number(size[1]), draw(Number(size[1]), square)).toString("base64");
}
fs.writeFileSync(path.join(out, path.basename(manifestFile)), JSON.stringify(manifest, null, 2) + "\n");
fs.writeFileSync(touchFile, png(Number(touch[1]), draw(Number(touch[1]), true)));

// The worker caches the page ("./", as the folder is served) and the
// manifest, under the release's version.
const worker = fs.readFileSync(workerFile, "utf8");
if (!worker.includes('"@VERSION@"') || !worker.includes("[/* @FILES@ */]"))
	throw new Error(`${workerFile} has no place for the version or the files`);
fs.writeFileSync(path.join(out, path.basename(workerFile)), worker.replace('"@VERSION@"', JSON.stringify(version))
	.replace("[/* @FILES@ */]", JSON.stringify(["./", path.basename(manifestFile)])));
