"use strict";
// The app's service worker. It keeps the app's own files in a cache named
// after the release and the folder the app is served from, answers the app's
// requests from it, and once a new release's worker has filled its own
// cache, takes over at once and deletes the caches of the app's other
// releases. It fetches nothing but those files: any other request goes on
// as if there were no worker (and the page's policy makes none).
const version = "@VERSION@";
const files = [/* @FILES@ */]; // beside this script; "./" is the page
const scope = self.registration.scope;
const prefix = "varnholt ";
const cache = `${prefix}${version} ${scope}`;
const own = new Set(files.map((file) => new URL(file, scope).href));
const page = new URL("./", scope).href;

self.addEventListener("install", (event) => {
	// Past the browser's HTTP cache, which may still hold the last release's
	// files.
	event.waitUntil((async () => {
		await (await caches.open(cache)).addAll(files.map((file) => new Request(file, { cache: "reload" })));
		await self.skipWaiting();
	})());
});

self.addEventListener("activate", (event) => {
	event.waitUntil((async () => {
		for (const name of await caches.keys()) {
			if (name !== cache && name.startsWith(prefix) && name.endsWith(" " + scope)) await caches.delete(name);
		}
	})());
});

self.addEventListener("fetch", (event) => {
	const url = new URL(event.request.url);
	url.search = url.hash = "";
	// The page, however the folder is asked for.
	const key = url.href === page + "index.html" ? page : url.href;
	if (event.request.method !== "GET" || !own.has(key)) return;
	event.respondWith((async () => (await (await caches.open(cache)).match(key)) || fetch(event.request))());
});
