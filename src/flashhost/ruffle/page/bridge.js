// The page side of the movie host: plays one movie in the player and carries its events to
// the program (object "host" over the web channel) and the program's calls to the movie.
//
// Events (FSCommand, ExternalInterface calls) carry one sequence number, so the program
// raises them in the movie's order although they travel two ways: FSCommands over the
// channel, ExternalInterface calls as a synchronous request, because the movie waits for
// the answer.
"use strict";
(function () {
  const NativeFunction = Function;
  // FSCommands on their way to the program and not yet acknowledged: beyond this the page
  // holds further ones until the program catches up (none is lost, the order stays).
  const kMaxInFlight = 1000;
  // Held beyond that, a movie that never stops sending is taken to have gone wrong.
  const kMaxHeld = 1000000;
  // Command texts longer than this go over the channel, not in the request's address.
  const kMaxTextInAddress = 32768;

  let host = null;
  let player = null;
  let menuEnabled = true;
  let background = null;
  let seq = 0;
  let acked = 0;
  let dropped = 0;
  let generation = 0;  // the program's number of the movie loaded last
  let applied = 0;     // the last batch of calls into the movie run here
  // FSCommands in the movie's order, sent in bursts: one message to the program per burst,
  // not one per command.
  let outgoing = [];

  function sendCommands(all) {
    if (!outgoing.length || !host) return;
    const room = all ? outgoing.length : acked + kMaxInFlight - outgoing[0][1] + 1;
    if (room <= 0) return;
    host.fsCommands(outgoing.splice(0, room));
  }

  function log(text) {
    if (host) host.log(String(text));
  }

  // -- ExternalInterface.call ------------------------------------------------------------------
  // The player calls out of a movie through `new Function("return (NAME)(...arguments);")`.
  // Every such call goes to the program as a FlashCall request; a movie never runs script of
  // its own in this page.
  const externalCall = /^return \(([\s\S]*)\)\(\.\.\.arguments\);$/;

  function xmlEscape(text) {
    return String(text).replace(/&/g, "&amp;").replace(/</g, "&lt;").replace(/>/g, "&gt;")
        .replace(/"/g, "&quot;").replace(/'/g, "&apos;");
  }

  function toXml(value) {
    if (value === null) return "<null/>";
    switch (typeof value) {
      case "undefined": return "<undefined/>";
      case "boolean": return value ? "<true/>" : "<false/>";
      case "number": return "<number>" + value + "</number>";
      case "string": return "<string>" + xmlEscape(value) + "</string>";
    }
    const tag = Array.isArray(value) ? "array" : "object";
    let out = "<" + tag + ">";
    for (const key of Object.keys(value))
      out += '<property id="' + xmlEscape(key) + '">' + toXml(value[key]) + "</property>";
    return out + "</" + tag + ">";
  }

  function fromXmlNode(node) {
    switch (node.nodeName) {
      case "string": return node.textContent;
      case "number": return Number(node.textContent);
      case "true": return true;
      case "false": return false;
      case "null": return null;
      case "undefined": return undefined;
      case "array":
      case "object": {
        const out = node.nodeName === "array" ? [] : {};
        for (const p of node.children) {
          if (p.nodeName === "property" && p.firstElementChild)
            out[p.getAttribute("id")] = fromXmlNode(p.firstElementChild);
        }
        return out;
      }
    }
    return node.textContent;
  }

  function fromXml(text) {
    if (text === "") return undefined;
    const doc = new DOMParser().parseFromString("<r>" + text + "</r>", "application/xml");
    const root = doc.documentElement;
    if (root.nodeName !== "r" || doc.getElementsByTagName("parsererror").length) return text;
    return root.firstElementChild ? fromXmlNode(root.firstElementChild) : text;
  }

  // A request the program answers while the movie waits.
  function ask(path, query) {
    const xhr = new XMLHttpRequest();
    xhr.open("GET", path + "?generation=" + generation + "&seq=" + (++seq) + query, false);
    xhr.send(null);
    acked = seq;
    return xhr.status === 200 ? xhr.responseText : null;
  }

  // fscommand of an AVM1 movie, rewritten into a call of the program's: raised while the
  // movie waits, as the desktop control raised it, and the replies its handler sent are run
  // before the movie's next action.
  function syncCommand(command, args) {
    command = String(command);
    args = args === undefined || args === null ? "" : String(args);
    let query = "&applied=" + applied + "&command=" + encodeURIComponent(command);
    if (args.length > kMaxTextInAddress) {
      host.commandText(generation, seq + 1, args);
      query += "&textByChannel=1";
    } else {
      query += "&args=" + encodeURIComponent(args);
    }
    const answer = ask("fscommand", query);
    if (answer === null) return;
    for (const [number, calls] of JSON.parse(answer)) deliver(generation, number, calls);
  }

  function flashCall(name, args) {
    sendCommands(true);
    try {
      // The first frame of an AVM1 movie has run (actions the program injected).
      if (name === "vedalia$ready") {
        host.callbackAdded(generation, name);
        return undefined;
      }
      if (name === "vedalia$fscommand") return syncCommand(args[0], args[1]);
      const request = '<invoke name="' + xmlEscape(name) + '" returntype="xml"><arguments>' +
          args.map(toXml).join("") + "</arguments></invoke>";
      const answer = ask("flashcall", "&request=" + encodeURIComponent(request));
      return answer === null ? undefined : fromXml(answer);
    } catch (e) {
      log("ExternalInterface call " + name + " failed: " + e);
      return undefined;
    }
  }

  function HostFunction(...args) {
    const match = args.length === 1 ? externalCall.exec(String(args[0])) : null;
    if (match) return (...callArgs) => flashCall(match[1], callArgs);
    return NativeFunction(...args);
  }
  HostFunction.prototype = NativeFunction.prototype;
  window.Function = HostFunction;

  // -- Callbacks the movie registers -------------------------------------------------------
  // The player makes a movie's ExternalInterface.addCallback a property of its element.
  const nativeDefine = Object.defineProperty;
  Object.defineProperty = function (target, name, descriptor) {
    const result = nativeDefine(target, name, descriptor);
    if (target === player && player && typeof name === "string" && host)
      host.callbackAdded(generation, name);
    return result;
  };

  // -- The movie ---------------------------------------------------------------------------
  function stopMenu(event) {
    if (menuEnabled) return;
    if (event.type === "contextmenu" || event.button === 2) {
      event.preventDefault();
      event.stopPropagation();
    }
  }

  function load(options) {
    const stage = document.getElementById("stage");
    if (player) player.remove();
    seq = 0;
    acked = 0;
    dropped = 0;
    applied = 0;
    outgoing = [];
    generation = options.generation;
    menuEnabled = options.menu;
    background = options.background;
    document.body.style.background = background || "#ffffff";

    if (!window.RufflePlayer || typeof window.RufflePlayer.newest !== "function") {
      host.loadFailed(generation, "the player's code is missing from the runtime");
      return;
    }
    const current = generation;
    // Its own element from here on: `player` moves on with unload() or the next movie.
    const element = window.RufflePlayer.newest().createPlayer();
    player = element;
    element.onFSCommand = (command, args) => {
      if (outgoing.length >= kMaxHeld) {
        if (!dropped++) log("the movie floods FSCommands beyond any reason; dropping them");
        return true;
      }
      outgoing.push([current, ++seq, String(command), args === undefined ? "" : String(args)]);
      if (outgoing.length === 1) queueMicrotask(() => sendCommands(false));
      return true;
    };
    element.addEventListener("loadedmetadata", () => {
      const m = element.ruffle().metadata || {};
      host.movieStarted(current, m.width || 0, m.height || 0, m.numFrames || 0);
    });
    stage.appendChild(element);
    // The player shows a movie it cannot play (or its own failure) on a panic screen of its
    // own and says nothing else: tell the program too.
    const panicWatch = new MutationObserver(() => {
      const panic = element.shadowRoot && element.shadowRoot.getElementById("panic");
      if (!panic) return;
      panicWatch.disconnect();
      const text = (id) => (panic.querySelector("#" + id) || {}).textContent || "";
      host.loadFailed(current, (text("panic-title") + " " + text("panic-body")).trim());
    });
    if (element.shadowRoot)
      panicWatch.observe(element.shadowRoot, { childList: true, subtree: true });

    const config = {
      allowScriptAccess: true,
      autoplay: "on",
      unmuteOverlay: "hidden",
      splashScreen: false,
      warnOnUnsupportedContent: false,
      showSwfDownload: false,
      contextMenu: options.menu ? "on" : "off",
      menu: options.menu,
      backgroundColor: background,
      // Around a stage of another shape than the window: the stage colour, not black bars.
      letterbox: "off",
      scale: options.scale,
      quality: options.quality,
      wmode: "window",
      openUrlMode: "deny",
      allowFullscreen: false,
      logLevel: "warn",
    };
    let loading;
    if (options.url) {
      loading = element.ruffle().load({ url: options.url, ...config });
    } else {
      loading = fetch(options.data).then(r => r.arrayBuffer()).then(bytes =>
          element.ruffle().load({ data: new Uint8Array(bytes), ...config }));
    }
    loading.catch(e => host.loadFailed(current, String((e && e.message) || e)));
  }

  // Runs batch `number` of [callback name, arguments] pairs in order, once: a batch the
  // answer of a command has brought already is not run again when its own message comes.
  function deliver(gen, number, calls) {
    if (gen !== generation || number <= applied) return;
    applied = number;
    for (const [name, args] of calls) callMovie(name, args);
    host.delivered(gen, number);
  }

  function callMovie(name, args) {
    const callback = player ? player[name] : undefined;
    if (typeof callback !== "function") return { ok: false };
    try {
      return { ok: true, value: callback.apply(player, args) };
    } catch (e) {
      log("the movie's " + name + " callback failed: " + e);
      return { ok: false };
    }
  }

  window.vedaliaPlayer = {
    load,
    deliver,
    // The movie's answer, or null when it has no such callback.
    call(name, args) {
      const r = callMovie(name, args);
      if (!r.ok) return null;
      return r.value === undefined || r.value === null ? "" : String(r.value);
    },
    ack(upTo) {
      if (upTo > acked) acked = upTo;
      sendCommands(false);
    },
    unload() {
      if (player) player.remove();
      player = null;
    },
    setMenu(on) {
      menuEnabled = on;
    },
    setBackground(color) {
      background = color;
      document.body.style.background = color || "#ffffff";
    },
  };

  for (const type of ["contextmenu", "pointerdown", "mousedown"])
    window.addEventListener(type, stopMenu, true);

  // A movie of one empty frame, played once and hidden as soon as the page is up: the player
  // fetches and compiles its code then (while the program shows its splash), not when the
  // first real movie comes. Every later player of the page reuses that code.
  const kWarmUpMovie = new Uint8Array([0x46, 0x57, 0x53, 10, 17, 0, 0, 0, 0x00, 0x00, 0x18, 1, 0,
                                       0x40, 0x00, 0x00, 0x00]);
  function warmUp() {
    if (!window.RufflePlayer || typeof window.RufflePlayer.newest !== "function") return;
    const warm = window.RufflePlayer.newest().createPlayer();
    warm.style.cssText = "position:absolute;left:0;top:0;width:1px;height:1px;visibility:hidden";
    document.body.appendChild(warm);
    warm.ruffle()
        .load({ data: kWarmUpMovie, autoplay: "off", splashScreen: false,
                unmuteOverlay: "hidden", allowScriptAccess: false, contextMenu: "off" })
        .catch(() => {})
        .finally(() => warm.remove());
  }
  if (document.readyState === "loading") document.addEventListener("DOMContentLoaded", warmUp);
  else warmUp();

  new QWebChannel(qt.webChannelTransport, channel => {
    host = channel.objects.host;
    host.pageReady();
  });
})();
