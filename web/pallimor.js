// The page: builds the settings panel from the parameter table the module exports, and turns the
// controls, buttons and keys into calls of the module (web/PallimorWeb.cpp). Where the page is
// cross-origin isolated the module with worker threads is loaded, else the one without.
"use strict";

(() => {
  const $ = (id) => document.getElementById(id);
  const query = new URLSearchParams(location.search);
  const threaded = self.crossOriginIsolated === true && typeof SharedArrayBuffer !== "undefined";
  const threads = threaded
    ? Math.max(1, Math.min(Number(query.get("threads")) || navigator.hardwareConcurrency || 2, 8))
    : 1;
  // The module's workers, all loaded before it starts: a thread started when none is free waits for
  // this page's event loop, which a drawing or an export holds until that thread is done. As many
  // as can run at once: the rasteriser's (threads, less this one) and, beside them, the bands of a
  // map or a PNG being written (the processors, at most 8, less this one).
  const workers = Math.max(1, threads - 1 + Math.min(navigator.hardwareConcurrency || 2, 8) - 1);
  let M = null; // the module
  let api = null; // its functions
  let table = null; // the parameter table, shortcuts, palettes, presets and the layers' words
  const inputs = []; // per parameter: its control
  const locks = []; // per parameter: Randomize leaves it alone
  let pane = false;
  let presetShown = ""; // the preset just applied: its menu shows it with the texture made from it
  let live = false;
  let liveTimer = 0;

  function loadScript(src) {
    return new Promise((resolve, reject) => {
      const script = document.createElement("script");
      script.src = src;
      script.onload = resolve;
      script.onerror = () => reject(new Error("cannot load " + src));
      document.head.appendChild(script);
    });
  }

  async function fetchBytes(name) {
    const response = await fetch(name);
    if (!response.ok) throw new Error("cannot load " + name + ": " + response.status);
    return new Uint8Array(await response.arrayBuffer());
  }

  function say(text, error = false) {
    $("message").textContent = text;
    $("message").classList.toggle("error", error);
  }

  function heap() {
    return M.HEAPU8;
  }

  // ---- the panel, from the table ----
  function buildPanel() {
    const settings = $("settings");
    table.params.forEach((p) => {
      let input;
      if (p.kind === "size") {
        input = document.createElement("select");
        for (let s = p.min; s <= p.max; s *= 2) input.add(new Option(String(s), String(s)));
      } else if (p.kind === "color") {
        input = document.createElement("input");
        input.type = "color";
      } else if (p.kind === "list") {
        input = document.createElement("select");
        p.items.forEach((item, i) => input.add(new Option(item, String(i))));
      } else {
        input = document.createElement("input");
        input.type = "range";
        input.min = p.min;
        input.max = p.max;
        input.step = 1;
      }
      input.id = "param-" + p.name;
      input.dataset.param = p.id;
      inputs[p.id] = input;
      locks[p.id] = false;
      if (p.id >= table.panelCount) {
        // Rows past the panel live in menus: the Tiling.
        const select = $(p.name);
        p.items.forEach((item, i) => select.add(new Option(item, String(i))));
        inputs[p.id] = select;
        select.addEventListener("change", () => changed(p));
        return;
      }
      const group = document.createElement("fieldset");
      const legend = document.createElement("legend");
      legend.textContent = p.caption;
      legend.title = p.help + (p.randomizable ? " (Ctrl+Click: lock for Randomize)" : "");
      group.append(legend, input);
      settings.appendChild(group);
      legend.addEventListener("click", (e) => {
        if (e.ctrlKey && p.randomizable) {
          locks[p.id] = !locks[p.id];
          legend.classList.toggle("locked", locks[p.id]);
        } else if (p.reset === "click") {
          reset(p);
        }
      });
      legend.addEventListener("dblclick", () => {
        if (p.reset === "double-click") reset(p);
      });
      if (p.kind === "track") input.addEventListener("input", () => changed(p));
      else input.addEventListener("change", () => changed(p));
    });
    const palette = $("palette");
    palette.add(new Option("Walk", "walk"));
    table.palettes.forEach((name) => palette.add(new Option(name, name)));
    palette.add(new Option("Typed", ""));
    const preset = $("preset");
    preset.add(new Option("(choose)", ""));
    table.presets.forEach((p) => {
      const option = new Option(p.name, p.name);
      option.title = p.description;
      preset.add(option);
    });
    $("layers").title = "Layers, bottom first, joined by ',': each a kind (" + table.layerKinds.join(", ") +
      ") then :NAME=VALUE, :blend=(" + table.layerBlends.join(", ") + "); empty: the tile alone";
  }

  function valueOf(p) {
    const input = inputs[p.id];
    if (p.kind === "color") return parseInt(input.value.slice(1), 16);
    return Number(input.value);
  }

  function showValue(p, value) {
    const input = inputs[p.id];
    if (p.kind === "color") input.value = "#" + value.toString(16).padStart(6, "0");
    else input.value = String(value);
    if (p.kind === "track") input.title = String(value);
    if (p.name === "image") {
      // Keep draws over the tile: no background to choose.
      inputs[4].disabled = inputs[5].disabled = value === 1;
    }
  }

  function showControls() {
    table.params.forEach((p) => showValue(p, api.get(p.id)));
    const name = api.paletteName();
    const colours = api.palette();
    $("palette").value = colours === "" ? "walk" : name || "";
    if (!name && colours) $("typed-palette").value = colours;
    $("layers").value = api.layers();
  }

  function reset(p) {
    showValue(p, p.default);
    changed(p);
  }

  // A control moved: its value to the module; the size redraws the output; with Live on the
  // texture is re-made.
  function changed(p) {
    const value = valueOf(p);
    api.set(p.id, value);
    showValue(p, value);
    if (p.kind === "size") {
      api.applySize();
      shown();
      return;
    }
    liveRedraw();
  }

  // With Live on, the texture re-made with the controls as they are now.
  function liveRedraw() {
    if (live && api.liveChanged()) {
      shown();
      clearTimeout(liveTimer);
      liveTimer = setTimeout(() => {
        if (api.liveRecord()) shown();
      }, 600);
    }
  }

  // ---- what is shown ----
  function shown() {
    const at = api.preview(pane ? 1 : 0);
    if (at) {
      const pixels = new Uint8ClampedArray(heap().slice(at, at + 512 * 512 * 4));
      $("preview").getContext("2d").putImageData(new ImageData(pixels, 512, 512), 0, 0);
    }
    showControls();
    $("preset").value = presetShown;
    presetShown = "";
    const code = api.recipeCode();
    $("recipe").value = code;
    $("back").disabled = !api.canStep(-1);
    $("forward").disabled = !api.canStep(1);
    $("info").textContent = `seed ${api.seed()}  ${api.get(0)} x ${api.get(0)}  ${threads} thread${threads > 1 ? "s" : ""}`;
    if (code && decodeURIComponent(location.hash.slice(1)) !== code) history.replaceState(null, "", "#" + code);
    document.body.dataset.textures = String(Number(document.body.dataset.textures || 0) + 1);
  }

  function made(ok) {
    if (ok) {
      say("");
      shown();
    }
  }

  const commands = {
    Generate: () => made(api.generate()),
    Randomize: () => made(api.randomize(locks.map((l) => (l ? "1" : "0")).join(""))),
    Back: () => made(api.step(-1)),
    Forward: () => made(api.step(1)),
    Live: () => {
      live = !live;
      api.setLive(live ? 1 : 0);
      $("live-button").setAttribute("aria-pressed", String(live));
    },
    "Preview Pane": () => {
      pane = !pane;
      $("pane").textContent = pane ? "Hide Preview Pane" : "Show Preview Pane";
      shown();
    },
    Export: () => download("png"),
    "Copy Recipe": () => copyRecipe(),
    "Paste Recipe": () => pasteRecipe(),
    "Mirror Tiling": () => tiling(0),
    "Wrap Tiling": () => tiling(1),
    "Wrap X Tiling": () => tiling(2),
    "Wrap Y Tiling": () => tiling(3),
    "Next Palette": () => stepPalette(1),
    "Previous Palette": () => stepPalette(-1),
    "Type Palette": () => $("typed-palette").focus(),
    "Keyboard Shortcuts": () => $("keys").showModal(),
  };

  function tiling(index) {
    const p = table.params.find((q) => q.name === "tiling");
    showValue(p, index);
    changed(p);
  }

  function setPalette(text) {
    const error = api.setPalette(text);
    if (error) say(error, true);
    else say("");
    showControls();
  }

  // A preset's settings over the defaults (the size kept), then a new texture with them.
  function applyPreset(name) {
    if (!name) return;
    const error = api.applyPreset(name);
    if (error) {
      say(error, true);
      $("preset").value = "";
      return;
    }
    presetShown = name;
    made(api.generate());
  }

  // The layers as --layers takes them; a bad text gets the parser's line and changes nothing.
  function setLayers(text) {
    const error = api.setLayers(text.trim());
    if (error) {
      say(error, true);
      return;
    }
    say("");
    $("layers").value = api.layers();
    liveRedraw();
  }

  function stepPalette(step) {
    const select = $("palette");
    const count = table.palettes.length + 1; // the walk's colours, then the shipped ones
    const at = Math.min(select.selectedIndex, count - 1);
    select.selectedIndex = (at + step + count) % count;
    setPalette(select.value);
  }

  // The texture as a file: the bytes pallimor-cli generate --recipe CODE --out writes for it.
  function download(type) {
    const base = "pallimor-" + api.seed();
    const name = base + "." + type.replace("jpeg", "jpg");
    const maps = $("maps").checked;
    const error = api.exportFile(name, 0, maps ? 1 : 0);
    if (error) {
      say(error, true);
      return;
    }
    const files = [name];
    if (maps) files.push(base + "_height.png", base + "_normal.png");
    for (const file of files) {
      const path = "/out/" + file;
      // The export gives the file the mode a new file gets on the desktop (the process's umask
      // applied), which this file system reads as no permission at all.
      M.FS.chmod(path, 0o644);
      const bytes = M.FS.readFile(path);
      M.FS.unlink(path);
      const link = document.createElement("a");
      link.href = URL.createObjectURL(new Blob([bytes], { type: type === "png" ? "image/png" : "image/jpeg" }));
      link.download = file;
      document.body.appendChild(link);
      link.click();
      link.remove();
      setTimeout(() => URL.revokeObjectURL(link.href), 10000);
    }
    say("Downloaded " + files.join(", "));
  }

  function makeRecipe(code) {
    code = code.trim();
    if (!code) return;
    const error = api.recipe(code);
    if (error) say(error, true);
    else made(true);
  }

  async function copyRecipe() {
    const code = api.recipeCode();
    if (!code) return say("This texture has no recipe", true);
    try {
      await navigator.clipboard.writeText(code);
      say("Recipe copied");
    } catch (e) {
      $("recipe").select();
      say("Recipe selected: copy it with Ctrl+C");
    }
  }

  async function pasteRecipe() {
    try {
      makeRecipe(await navigator.clipboard.readText());
    } catch (e) {
      say("Paste the recipe with Ctrl+V", true);
    }
  }

  // ---- keys, from the shortcut table: those the browser lets a page have ----
  function keyMatches(combo, e) {
    const parts = combo.split("+");
    let key = parts.pop();
    if (key === "" && combo.endsWith("+")) key = "+";
    const want = { Ctrl: false, Shift: false, Alt: false };
    parts.forEach((m) => (want[m] = true));
    if (e.ctrlKey !== want.Ctrl || e.altKey !== want.Alt) return false;
    const names = { Left: "ArrowLeft", Right: "ArrowRight", Esc: "Escape" };
    const pressed = e.key.length === 1 ? e.key.toUpperCase() : e.key;
    if (want.Shift !== e.shiftKey && key.length !== 1) return false;
    if (key.length === 1 && /[A-Z]/.test(key) && want.Shift !== e.shiftKey) return false;
    return pressed === (names[key] || key.toUpperCase()) || (key.length === 1 && e.code === "Digit" + key);
  }

  function listKeys() {
    const rows = table.shortcuts.filter((s) => s.keys && s.menu);
    $("key-table").innerHTML = "";
    rows.forEach((s) => {
      const row = $("key-table").insertRow();
      row.insertCell().textContent = s.keys;
      row.insertCell().textContent = s.command + (commands[s.command] ? "" : " (window only)");
    });
  }

  function onKey(e) {
    if (e.target.tagName === "INPUT" && e.target.type === "text" || e.target.id === "typed-palette") return;
    for (const s of table.shortcuts) {
      const run = commands[s.command];
      if (!run || !s.keys || s.command === "Paste Recipe") continue;
      if (s.keys.split("; ").some((combo) => keyMatches(combo, e))) {
        e.preventDefault();
        run();
        return;
      }
    }
  }

  // ---- start ----
  async function start() {
    say("Loading...");
    await loadScript(threaded ? "pallimor-mt.js" : "pallimor-st.js");
    const [archive, palettes, presets] = await Promise.all(
      [fetchBytes("vorn.dat"), fetchBytes("palettes.txt"), fetchBytes("presets.txt")]);
    M = await self.PallimorModule({ print: console.log, printErr: console.warn, pallimorWorkers: workers });
    M.FS.writeFile("/vorn.dat", archive);
    M.FS.writeFile("/palettes.txt", palettes);
    M.FS.writeFile("/presets.txt", presets);
    M.FS.mkdir("/out");
    const text = (name, args) => M.ccall(name, "string", args.map((a) => typeof a === "number" ? "number" : "string"), args);
    const num = (name, ...args) => M.ccall(name, "number", args.map((a) => typeof a === "number" ? "number" : "string"), args);
    api = {
      start: (n) => text("pw_start", [n]),
      table: () => JSON.parse(text("pw_table", [])),
      get: (id) => num("pw_get", id),
      set: (id, v) => num("pw_set", id, v),
      setPalette: (t) => text("pw_set_palette", [t]),
      palette: () => text("pw_palette", []),
      paletteName: () => text("pw_palette_name", []),
      applyPreset: (n) => text("pw_apply_preset", [n]),
      setLayers: (t) => text("pw_set_layers", [t]),
      layers: () => text("pw_layers", []),
      applySize: () => num("pw_apply_size"),
      generate: () => num("pw_generate"),
      randomize: (l) => num("pw_randomize", l),
      step: (s) => num("pw_step", s),
      canStep: (s) => num("pw_can_step", s),
      recipe: (c) => text("pw_recipe", [c]),
      recipeCode: () => text("pw_recipe_code", []),
      seed: () => text("pw_seed", []),
      setLive: (on) => num("pw_set_live", on),
      liveChanged: () => num("pw_live_changed"),
      liveRecord: () => num("pw_live_record"),
      preview: (p) => num("pw_preview", p),
      exportFile: (name, q, maps) => text("pw_export", [name, q, maps]),
    };
    const failed = api.start(threads);
    if (failed) {
      say(failed, true);
      return;
    }
    table = api.table();
    buildPanel();
    listKeys();
    $("generate").onclick = commands.Generate;
    $("preview").onclick = commands.Generate;
    $("randomize").onclick = commands.Randomize;
    $("back").onclick = commands.Back;
    $("forward").onclick = commands.Forward;
    $("live-button").onclick = commands.Live;
    $("pane").onclick = commands["Preview Pane"];
    $("png").onclick = () => download("png");
    $("jpeg").onclick = () => download("jpeg");
    $("copy").onclick = copyRecipe;
    $("paste").onclick = pasteRecipe;
    $("keys-close").onclick = () => $("keys").close();
    $("palette").onchange = () => {
      if ($("palette").value) setPalette($("palette").value);
      else $("typed-palette").focus();
    };
    $("typed-palette").onchange = () => setPalette($("typed-palette").value);
    $("preset").onchange = () => applyPreset($("preset").value);
    $("layers").onchange = () => setLayers($("layers").value);
    document.addEventListener("keydown", onKey);
    document.addEventListener("paste", (e) => {
      if (e.target.tagName === "INPUT" && e.target.id !== "recipe") return;
      e.preventDefault();
      makeRecipe(e.clipboardData.getData("text"));
    });
    window.addEventListener("hashchange", () => {
      const code = decodeURIComponent(location.hash.slice(1));
      if (code && code !== api.recipeCode()) makeRecipe(code);
    });
    const code = decodeURIComponent(location.hash.slice(1));
    if (code) {
      showControls();
      makeRecipe(code);
    } else {
      made(api.generate());
    }
    document.body.dataset.ready = "true";
  }

  // For the tests and the benchmark: the page's module functions once started.
  window.pallimor = { ready: null, api: () => api, module: () => M, threads, threaded };
  window.pallimor.ready = new Promise((resolve) => addEventListener("DOMContentLoaded", () => resolve(start().catch((e) => {
    say(String(e.message || e), true);
    console.error(e);
  }))));
})();
