// The offline copy of the site: every file cached at install, served from the cache first. A
// new build has a new version (made from its files' contents): its worker caches the new files
// and, once active, deletes the caches of older versions.
const VERSION = '@VERSION@';
const FILES = ['@FILES@'];
const CACHE = `tastrello-${VERSION}`;

self.addEventListener('install', (event) => {
  event.waitUntil(caches.open(CACHE)
                      .then((cache) => cache.addAll(FILES.map((f) => new Request(f, {cache: 'reload'}))))
                      .then(() => self.skipWaiting()));
});

self.addEventListener('activate', (event) => {
  event.waitUntil(caches.keys()
                      .then((keys) => Promise.all(keys.filter((k) => k.startsWith('tastrello-') && k !== CACHE)
                                                      .map((k) => caches.delete(k))))
                      .then(() => self.clients.claim()));
});

self.addEventListener('fetch', (event) => {
  const request = event.request;
  if (request.method !== 'GET' || new URL(request.url).origin !== self.location.origin) return;
  event.respondWith(caches.open(CACHE)
                        .then((cache) => cache.match(request, {ignoreSearch: true}))
                        .then((hit) => hit || fetch(request)));
});
