// The page's files for visits without the network: at the first visit every file of the site is
// kept in a cache of its version, and the page then loads and runs from it. A new version of the
// site (its files changed, so this file did) is kept whole in a cache of its own and takes over
// when no tab shows the old one any more: on the next visit; the page says so when it is ready.
// Generated from web/service_worker.js by web/service_worker.cmake: VERSION and FILES are the site's.
'use strict';

const VERSION = 'tu_mardo-@VERSION@';
const FILES = [@FILES@];

// Fetched past the browser's HTTP cache, which may still hold a file of the old version.
self.addEventListener('install', (event) => {
  event.waitUntil(caches.open(VERSION).then(
      (cache) => cache.addAll(FILES.map((file) => new Request(file, {cache: 'reload'})))));
});

self.addEventListener('activate', (event) => {
  event.waitUntil(caches.keys().then((keys) => Promise.all(
      keys.filter((key) => key.startsWith('tu_mardo-') && key !== VERSION)
          .map((key) => caches.delete(key)))));
});

// The kept file, else the network (a file the site does not have). A HEAD (the worker's look
// for the program) is answered from the kept file too, without its body.
self.addEventListener('fetch', (event) => {
  const method = event.request.method;
  if (method !== 'GET' && method !== 'HEAD') return;
  event.respondWith(caches.open(VERSION)
                        .then((cache) => cache.match(event.request, {ignoreSearch: true,
                                                                     ignoreMethod: true}))
                        .then((kept) => !kept ? fetch(event.request)
                                        : method === 'GET' ? kept
                                        : new Response(null, {status: kept.status,
                                                              headers: kept.headers})));
});
