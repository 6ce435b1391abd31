// Qt 6.4 offers no Fetch API on custom URL schemes, and the player fetches its code and the
// movies with it. This routes fetch() over XMLHttpRequest, which those schemes do support.
"use strict";
(function () {
  const nativeFetch = window.fetch ? window.fetch.bind(window) : null;
  window.fetch = function (input, init) {
    init = init || {};
    const url = new URL(typeof input === "string" ? input : (input.url || String(input)),
                        document.baseURI);
    if (nativeFetch && url.protocol !== location.protocol) return nativeFetch(input, init);
    return new Promise((resolve, reject) => {
      const xhr = new XMLHttpRequest();
      xhr.open(init.method || (input && input.method) || "GET", url.href, true);
      xhr.responseType = "arraybuffer";
      const headers = new Headers(init.headers || (input && input.headers) || {});
      headers.forEach((value, name) => xhr.setRequestHeader(name, value));
      xhr.onload = () => {
        if (xhr.status === 0) return reject(new TypeError("Failed to fetch " + url.href));
        const type = xhr.getResponseHeader("Content-Type") || "application/octet-stream";
        const response = new Response(xhr.response, {
          status: xhr.status, statusText: xhr.statusText, headers: { "Content-Type": type }});
        Object.defineProperty(response, "url", { value: url.href });
        resolve(response);
      };
      xhr.onerror = () => reject(new TypeError("Failed to fetch " + url.href));
      xhr.onabort = xhr.onerror;
      xhr.send(init.body === undefined ? null : init.body);
    });
  };
})();
