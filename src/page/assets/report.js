/*
 * Vennrick report page: draws the run's interactive Manhattan plot and tables from the data embedded in the page.
 * Plain JavaScript, no build step, no network: everything comes from the page itself, so the file works from
 * file:// and by e-mail. Every text that comes from the data is put in with textContent (or as SVG text nodes),
 * never as markup.
 *
 * The data: one element <script type="application/json" id="vennrick-data"> holding one JSON object (JSON, never
 * code; in the JSON text "<", ">", "&", U+2028 and U+2029 are written as \u escapes, so it cannot end the element):
 *
 *   format       1 (this layout)
 *   version      the tool's version text
 *   title        the run's title (-figuretitle, or the table's name)
 *   input        the table's file name as given ("-" for standard input)
 *   command      the command line, a list of the arguments as given (the program's name first)
 *   positions    "bp" when rows are placed by position, "rank" when by their order within the chromosome
 *   threshold    -log10(p) of the hit line;  suggestive: -log10(p) of the suggestive line, or null
 *   colors       ["#rrggbb" x 3]: odd chromosomes, even chromosomes, hits
 *   summary      { read, kept, skipped: [[reason text, rows], ...], hits, loci (null without -leads),
 *                  lambda (text such as "1.0234", "NA", or null without -qq) }
 *   chromosomes  in the plot's order: [{ name, start, end, offset, rows }]; start and end are the smallest and
 *                largest position of the chromosome's kept rows; a row at position pos lies at x = offset +
 *                (pos - start) on the genome axis, whose length is genomeLength (gaps between chromosomes included)
 *   genomeLength the x axis's extent, 0 .. genomeLength
 *   pointsShown  how many rows are drawn one by one (the length of points' columns); hitsShown: how many of them
 *                are hits. Beyond the strongest rows the page keeps, hits are summarised with the other rows.
 *   points       the rows drawn one by one (every hit up to a cap, and the strongest rows by p), as columns of equal
 *                length: { chr: [index into chromosomes], pos: [position], id: [variant ID text, "" for none],
 *                p: [p-value as the table has it, text], logp: [-log10(p), number] }
 *   bins         every other kept row, as occupied cells: { width: positions per bin, levels: L (<= 32),
 *                top: -log10(p) of the top of the highest level, cells: [one string per chromosome] }. A
 *                chromosome's string is base64 of little-endian 32-bit masks, one per bin from its start: bin i holds
 *                positions start + i*width .. start + (i+1)*width - 1; bit k set when a row there has -log10(p)
 *                in [k*top/L, (k+1)*top/L) (the last level includes top).
 *   leads        null, or [{ chr, pos, id, label, p, logp, start, end, hits }] (chr: index into chromosomes;
 *                label: the -labelcolumn text, absent without it)
 *   leadWindow   -leadwindow, bp
 *   images       { qq: data: URI or null, qqAlt: text, regional: [{ title, src, alt }] }
 */
(function () {
  "use strict";

  var DEFAULT_COLORS = ["#0072B2", "#56B4E9", "#D55E00"];
  var SVG_NS = "http://www.w3.org/2000/svg";
  var MIN_SPAN = 10; // the narrowest view, in positions: base-pair resolution
  var HOVER_PX = 8;  // how near a point the pointer must be

  function el(tag, attrs, text) {
    var e = document.createElement(tag);
    if (attrs) {
      for (var k in attrs) {
        if (Object.prototype.hasOwnProperty.call(attrs, k)) e.setAttribute(k, attrs[k]);
      }
    }
    if (text !== undefined && text !== null) e.textContent = String(text);
    return e;
  }

  function fmtInt(n) {
    if (typeof n !== "number" || !isFinite(n)) return "–";
    return Math.round(n).toLocaleString("en-US");
  }

  function fmtLog(v) {
    return typeof v === "number" && isFinite(v) ? v.toFixed(3) : String(v);
  }

  function fmtMb(pos, step) {
    var decimals = 0;
    var s = step / 1e6;
    while (decimals < 6 && Math.abs(Math.round(s * Math.pow(10, decimals)) - s * Math.pow(10, decimals)) > 1e-9) decimals++;
    return (pos / 1e6).toFixed(decimals);
  }

  // A round step (1, 2 or 5 times a power of ten) that gives about `want` intervals over span.
  function niceStep(span, want) {
    if (!(span > 0)) return 1;
    var raw = span / want;
    var p = Math.pow(10, Math.floor(Math.log10(raw)));
    var m = raw / p;
    return (m <= 1 ? 1 : m <= 2 ? 2 : m <= 5 ? 5 : 10) * p;
  }

  // The -log10(p) axis: 0 to top in 4 to 10 round steps, as the paper figure draws it.
  function yAxis(largest) {
    if (!(largest > 0) || !isFinite(largest)) largest = 1;
    var steps = [1, 2, 5];
    for (var e = -3; e < 400; e++) {
      for (var i = 0; i < 3; i++) {
        var step = steps[i] * Math.pow(10, e);
        if (largest > 3 && step < 1) continue;
        var n = Math.ceil(largest / step - 1e-9);
        if (n <= 10) return { step: step, intervals: Math.max(n, 1), top: Math.max(n, 1) * step };
      }
    }
    return { step: largest, intervals: 1, top: largest };
  }

  function decodeMasks(text) {
    var bin = atob(text || "");
    var n = bin.length >> 2;
    var out = new Uint32Array(n);
    for (var i = 0; i < n; i++) {
      var j = i * 4;
      out[i] = (bin.charCodeAt(j) | (bin.charCodeAt(j + 1) << 8) | (bin.charCodeAt(j + 2) << 16) | (bin.charCodeAt(j + 3) << 24)) >>> 0;
    }
    return out;
  }

  function saveBlob(blob, name) {
    var url = URL.createObjectURL(blob);
    var a = el("a", { href: url, download: name });
    document.body.appendChild(a);
    a.click();
    document.body.removeChild(a);
    setTimeout(function () { URL.revokeObjectURL(url); }, 1000);
  }

  function safeFileName(text) {
    var s = String(text || "vennrick").replace(/[^A-Za-z0-9._-]+/g, "_").replace(/^[._]+/, "");
    return (s || "vennrick").slice(0, 80);
  }

  // ---- the data -------------------------------------------------------------------------------------------------

  function readData() {
    var node = document.getElementById("vennrick-data");
    var d = JSON.parse(node ? node.textContent : "{}");
    d.title = String(d.title === undefined ? "" : d.title);
    d.chromosomes = Array.isArray(d.chromosomes) ? d.chromosomes : [];
    var colors = Array.isArray(d.colors) ? d.colors : [];
    d.colors = DEFAULT_COLORS.map(function (c, i) {
      return typeof colors[i] === "string" && /^#[0-9a-fA-F]{6}$/.test(colors[i]) ? colors[i] : c;
    });
    var p = d.points || {};
    var n = Array.isArray(p.pos) ? p.pos.length : 0;
    d.pts = { n: n, chr: p.chr || [], pos: p.pos || [], id: p.id || [], p: p.p || [], logp: p.logp || [],
              gx: new Float64Array(n) };
    for (var i = 0; i < n; i++) {
      var c = d.chromosomes[d.pts.chr[i]];
      d.pts.gx[i] = c ? c.offset + (d.pts.pos[i] - c.start) : 0;
    }
    d.bins = d.bins || { width: 1, levels: 1, top: 1, cells: [] };
    d.masks = d.chromosomes.map(function (c, i) { return decodeMasks(d.bins.cells ? d.bins.cells[i] : ""); });
    var largest = 0;
    for (i = 0; i < n; i++) if (d.pts.logp[i] > largest && isFinite(d.pts.logp[i])) largest = d.pts.logp[i];
    var anyBin = d.masks.some(function (m) { for (var k = 0; k < m.length; k++) if (m[k]) return true; return false; });
    if (anyBin && d.bins.top > largest) largest = d.bins.top;
    if (typeof d.threshold === "number" && d.threshold > largest) largest = d.threshold;
    if (typeof d.suggestive === "number" && d.suggestive > largest) largest = d.suggestive;
    d.axis = yAxis(largest);
    d.genomeLength = d.genomeLength > 0 ? d.genomeLength : 1;
    return d;
  }

  // ---- the Manhattan plot ---------------------------------------------------------------------------------------

  function Manhattan(data, host, status, describe) {
    var self = this;
    this.d = data;
    this.view = { x0: 0, x1: data.genomeLength };
    this.pinned = -1;
    this.hover = -1;
    this.labelBoxes = [];
    this.status = status;
    this.describe = describe;

    this.wrap = el("div", { "class": "plot-wrap" });
    this.canvas = el("canvas", { tabindex: "0", role: "img", id: "manhattan-canvas",
      "aria-describedby": "manhattan-view manhattan-keys" });
    this.tip = el("div", { "class": "tip", role: "tooltip", id: "manhattan-tip", hidden: "" });
    this.band = el("div", { "class": "band", hidden: "" });
    this.wrap.appendChild(this.canvas);
    this.wrap.appendChild(this.band);
    this.wrap.appendChild(this.tip);
    host.appendChild(this.wrap);

    this.resize();
    window.addEventListener("resize", function () { self.resize(); self.draw(); });
    this.bindPointer();
    this.bindKeys();
  }

  Manhattan.prototype.resize = function () {
    var cssW = Math.max(320, Math.floor(this.wrap.clientWidth || 900));
    var cssH = 440;
    var ratio = window.devicePixelRatio || 1;
    this.cssW = cssW;
    this.cssH = cssH;
    this.ratio = ratio;
    this.canvas.width = Math.round(cssW * ratio);
    this.canvas.height = Math.round(cssH * ratio);
    this.canvas.style.width = cssW + "px";
    this.canvas.style.height = cssH + "px";
    this.plot = { left: 58, top: 14, width: cssW - 58 - 14, height: cssH - 14 - 62 };
  };

  Manhattan.prototype.xToPx = function (x) {
    return this.plot.left + (x - this.view.x0) / (this.view.x1 - this.view.x0) * this.plot.width;
  };
  Manhattan.prototype.pxToX = function (px) {
    return this.view.x0 + (px - this.plot.left) / this.plot.width * (this.view.x1 - this.view.x0);
  };
  Manhattan.prototype.yToPx = function (v) {
    return this.plot.top + this.plot.height * (1 - v / this.d.axis.top);
  };

  // The chromosomes any part of which lies in the view.
  Manhattan.prototype.visibleChromosomes = function () {
    var out = [];
    var cs = this.d.chromosomes;
    for (var i = 0; i < cs.length; i++) {
      var c = cs[i];
      if (c.offset + (c.end - c.start) >= this.view.x0 && c.offset <= this.view.x1) out.push(i);
    }
    return out;
  };

  Manhattan.prototype.setView = function (x0, x1, why) {
    var L = this.d.genomeLength;
    if (x1 < x0) { var t = x0; x0 = x1; x1 = t; }
    var span = Math.max(x1 - x0, MIN_SPAN);
    if (span >= L) { x0 = 0; x1 = L; } else {
      var mid = (x0 + x1) / 2;
      x0 = mid - span / 2;
      x1 = mid + span / 2;
      if (x0 < 0) { x1 -= x0; x0 = 0; }
      if (x1 > L) { x0 -= x1 - L; x1 = L; }
    }
    this.view = { x0: x0, x1: x1 };
    this.draw();
    if (why) this.status.textContent = why;
  };

  Manhattan.prototype.reset = function () {
    this.setView(0, this.d.genomeLength, "Whole genome.");
  };

  Manhattan.prototype.zoomBy = function (factor, aroundX) {
    var v = this.view;
    if (aroundX === undefined) aroundX = (v.x0 + v.x1) / 2;
    var x0 = aroundX - (aroundX - v.x0) * factor;
    var x1 = aroundX + (v.x1 - aroundX) * factor;
    if (x1 - x0 < MIN_SPAN) {
      x0 = aroundX - MIN_SPAN / 2;
      x1 = aroundX + MIN_SPAN / 2;
    }
    this.setView(x0, x1);
  };

  Manhattan.prototype.pan = function (share) {
    var w = this.view.x1 - this.view.x0;
    this.setView(this.view.x0 + w * share, this.view.x1 + w * share);
  };

  Manhattan.prototype.zoomToChromosome = function (i) {
    var c = this.d.chromosomes[i];
    if (!c) return;
    this.setView(c.offset, c.offset + (c.end - c.start), "Chromosome " + c.name + ".");
  };

  Manhattan.prototype.zoomToRange = function (ci, from, to, why) {
    var c = this.d.chromosomes[ci];
    if (!c) return;
    this.setView(c.offset + (from - c.start), c.offset + (to - c.start), why);
  };

  Manhattan.prototype.colourOf = function (chr, logp) {
    if (typeof this.d.threshold === "number" && logp >= this.d.threshold) return this.d.colors[2];
    return this.d.colors[chr % 2];
  };

  // Calls fn(x, y, w, h, colour) for the bin cells in view, neighbouring bins that fall on the same pixels merged.
  Manhattan.prototype.eachCell = function (fn) {
    var d = this.d;
    var L = Math.max(1, Math.min(32, d.bins.levels | 0));
    var width = d.bins.width > 0 ? d.bins.width : 1;
    var top = d.bins.top > 0 ? d.bins.top : 1;
    var levelTop = [];
    for (var k = 0; k <= L; k++) levelTop.push(this.yToPx(k * top / L));
    // the first level drawn in the hit colour: the first whose bottom is at or above the threshold
    var hitLevel = typeof d.threshold === "number" ? Math.max(0, Math.ceil(d.threshold * L / top - 1e-9)) : L;
    var vis = this.visibleChromosomes();
    for (var vi = 0; vi < vis.length; vi++) {
      var ci = vis[vi];
      var c = d.chromosomes[ci];
      var masks = d.masks[ci];
      if (!masks || masks.length === 0) continue;
      var first = Math.max(0, Math.floor((this.view.x0 - c.offset) / width));
      var last = Math.min(masks.length - 1, Math.floor((this.view.x1 - c.offset) / width));
      var spanEnd = c.offset + (c.end - c.start) + 1;
      var runStart = 0, runEnd = -1, runMask = 0;
      var flush = function () {
        if (runMask === 0) return;
        for (var k = 0; k < L; k++) {
          if (!(runMask & (1 << k))) continue;
          var j = k;
          while (j + 1 < L && (runMask & (1 << (j + 1)))) j++;
          // levels k..j are set: one rectangle, or two where the hit colour starts
          var parts = hitLevel > k && hitLevel <= j ? [[k, hitLevel - 1], [hitLevel, j]] : [[k, j]];
          for (var q = 0; q < parts.length; q++) {
            var a = parts[q][0], b = parts[q][1];
            fn(runStart, levelTop[b + 1], runEnd - runStart, levelTop[a] - levelTop[b + 1],
               a >= hitLevel ? d.colors[2] : d.colors[ci % 2]);
          }
          k = j;
        }
      };
      for (var i = first; i <= last; i++) {
        var m = masks[i];
        if (!m) continue;
        var gx0 = c.offset + i * width;
        var gx1 = Math.min(gx0 + width, spanEnd);
        var p0 = Math.floor(this.xToPx(gx0));
        var p1 = Math.max(p0 + 1, Math.ceil(this.xToPx(gx1)));
        p0 = Math.max(p0, Math.floor(this.plot.left));
        p1 = Math.min(p1, Math.ceil(this.plot.left + this.plot.width));
        if (p1 <= p0) continue;
        if (runMask !== 0 && p0 < runEnd) {
          runMask = (runMask | m) >>> 0;
          if (p1 > runEnd) runEnd = p1;
        } else {
          flush();
          runStart = p0;
          runEnd = p1;
          runMask = m;
        }
      }
      flush();
    }
  };

  // The points in view, hits last so that they are drawn on top.
  Manhattan.prototype.pointsInView = function () {
    var p = this.d.pts;
    var out = [], hits = [];
    var x0 = this.view.x0, x1 = this.view.x1;
    var th = this.d.threshold;
    for (var i = 0; i < p.n; i++) {
      var gx = p.gx[i];
      if (gx < x0 || gx > x1 || !(p.logp[i] >= 0)) continue;
      if (typeof th === "number" && p.logp[i] >= th) hits.push(i); else out.push(i);
    }
    return out.concat(hits);
  };

  // The x axis: chromosome names over the whole genome or several chromosomes, positions in Mb within one.
  Manhattan.prototype.xTicks = function () {
    var vis = this.visibleChromosomes();
    var ticks = [];
    if (vis.length === 1) {
      var c = this.d.chromosomes[vis[0]];
      var lo = c.start + (this.view.x0 - c.offset), hi = c.start + (this.view.x1 - c.offset);
      var step = Math.max(1, niceStep(hi - lo, 6));
      for (var pos = Math.ceil(lo / step) * step; pos <= hi + 1e-6; pos += step) {
        var text = this.d.positions === "rank" ? String(Math.round(pos)) : fmtMb(pos, step);
        ticks.push({ x: c.offset + (pos - c.start), text: text });
      }
      return { single: vis[0], ticks: ticks,
               title: this.d.positions === "rank" ? "Chromosome " + c.name + " (row)" : "Chromosome " + c.name + " (Mb)" };
    }
    for (var i = 0; i < vis.length; i++) {
      var ch = this.d.chromosomes[vis[i]];
      var a = Math.max(ch.offset, this.view.x0), b = Math.min(ch.offset + (ch.end - ch.start), this.view.x1);
      ticks.push({ x: (a + b) / 2, text: ch.name, chromosome: vis[i] });
    }
    return { single: -1, ticks: ticks, title: "Chromosome" };
  };

  // Draws the view on ctx (the canvas's, or a recording one for SVG).
  Manhattan.prototype.paint = function (g) {
    var d = this.d, plot = this.plot;
    g.fillRect(0, 0, this.cssW, this.cssH, "#ffffff");
    g.clip(plot.left, plot.top - 4, plot.width, plot.height + 4);
    this.eachCell(function (x, y, w, h, colour) { g.fillRect(x, y, w, Math.max(h, 1), colour); });
    var pts = this.pointsInView();
    var groups = {};
    for (var i = 0; i < pts.length; i++) {
      var k = pts[i];
      var colour = this.colourOf(d.pts.chr[k], d.pts.logp[k]);
      var hit = typeof d.threshold === "number" && d.pts.logp[k] >= d.threshold;
      var key = colour + (hit ? "h" : "");
      (groups[key] = groups[key] || { colour: colour, r: hit ? 3 : 2, xs: [], ys: [] });
      groups[key].xs.push(this.xToPx(d.pts.gx[k]));
      groups[key].ys.push(this.yToPx(Math.min(d.pts.logp[k], d.axis.top)));
    }
    var order = Object.keys(groups).sort(function (a, b) { return a.length - b.length; });
    for (i = 0; i < order.length; i++) g.dots(groups[order[i]]);
    var dash = [5, 4];
    if (typeof d.threshold === "number" && d.threshold <= d.axis.top) {
      g.line(plot.left, this.yToPx(d.threshold), plot.left + plot.width, this.yToPx(d.threshold), "#505050", 1, dash);
    }
    if (typeof d.suggestive === "number" && d.suggestive <= d.axis.top) {
      g.line(plot.left, this.yToPx(d.suggestive), plot.left + plot.width, this.yToPx(d.suggestive), "#969696", 1, dash);
    }
    if (this.pinned >= 0) {
      g.ring(this.xToPx(d.pts.gx[this.pinned]), this.yToPx(Math.min(d.pts.logp[this.pinned], d.axis.top)), 6, "#000000");
    }
    g.unclip();
    // axes
    var bottom = plot.top + plot.height;
    g.line(plot.left, plot.top, plot.left, bottom, "#000000", 1);
    g.line(plot.left, bottom, plot.left + plot.width, bottom, "#000000", 1);
    var ax = d.axis;
    for (var t = 0; t <= ax.intervals; t++) {
      var v = t * ax.step;
      var y = this.yToPx(v);
      g.line(plot.left - 5, y, plot.left, y, "#000000", 1);
      g.text(plot.left - 8, y + 4, ax.step < 1 ? v.toFixed(Math.ceil(-Math.log10(ax.step))) : String(Math.round(v)), "end", 12);
    }
    g.text(16, plot.top + plot.height / 2, "\u2212log10(p)", "middle", 13, -90);
    var xt = this.xTicks();
    this.labelBoxes = [];
    var rows = [[], []];
    for (var i2 = 0; i2 < xt.ticks.length; i2++) {
      var tk = xt.ticks[i2];
      var px = this.xToPx(tk.x);
      var w = g.measure(tk.text, 12) + 6;
      var row = -1;
      for (var r = 0; r < 2 && row < 0; r++) {
        var free = true;
        for (var q = 0; q < rows[r].length; q++) {
          if (px - w / 2 < rows[r][q][1] && px + w / 2 > rows[r][q][0]) { free = false; break; }
        }
        if (free) row = r;
      }
      if (row < 0) continue;
      rows[row].push([px - w / 2, px + w / 2]);
      if (xt.single >= 0) g.line(px, bottom, px, bottom + 5, "#000000", 1);
      var ty = bottom + 18 + row * 15;
      g.text(px, ty, tk.text, "middle", 12);
      if (tk.chromosome !== undefined) {
        this.labelBoxes.push({ chromosome: tk.chromosome, x0: px - w / 2, x1: px + w / 2, y0: ty - 13, y1: ty + 4 });
      }
    }
    g.text(plot.left + plot.width / 2, this.cssH - 8, xt.title, "middle", 13);
    return xt;
  };

  // The canvas back end of paint().
  function CanvasPainter(ctx) { this.c = ctx; }
  CanvasPainter.prototype = {
    fillRect: function (x, y, w, h, colour) { this.c.fillStyle = colour; this.c.fillRect(x, y, w, h); },
    clip: function (x, y, w, h) { this.c.save(); this.c.beginPath(); this.c.rect(x, y, w, h); this.c.clip(); },
    unclip: function () { this.c.restore(); },
    dots: function (grp) {
      var c = this.c;
      c.fillStyle = grp.colour;
      c.beginPath();
      for (var i = 0; i < grp.xs.length; i++) {
        c.moveTo(grp.xs[i] + grp.r, grp.ys[i]);
        c.arc(grp.xs[i], grp.ys[i], grp.r, 0, 2 * Math.PI);
      }
      c.fill();
    },
    ring: function (x, y, r, colour) {
      var c = this.c;
      c.strokeStyle = colour; c.lineWidth = 1.5; c.setLineDash([]);
      c.beginPath(); c.arc(x, y, r, 0, 2 * Math.PI); c.stroke();
    },
    line: function (x0, y0, x1, y1, colour, width, dash) {
      var c = this.c;
      c.strokeStyle = colour; c.lineWidth = width; c.setLineDash(dash || []);
      c.beginPath(); c.moveTo(Math.round(x0) + 0.5, Math.round(y0) + 0.5); c.lineTo(Math.round(x1) + 0.5, Math.round(y1) + 0.5); c.stroke();
      c.setLineDash([]);
    },
    font: function (size) { return size + "px Calibri, Carlito, \"Segoe UI\", \"DejaVu Sans\", Arial, sans-serif"; },
    text: function (x, y, text, align, size, rotation) {
      var c = this.c;
      c.save();
      c.font = this.font(size); c.fillStyle = "#000000";
      c.textAlign = align === "end" ? "right" : align === "middle" ? "center" : "left";
      c.translate(x, y);
      if (rotation) c.rotate(rotation * Math.PI / 180);
      c.fillText(text, 0, 0);
      c.restore();
    },
    measure: function (text, size) { this.c.font = this.font(size); return this.c.measureText(text).width; }
  };

  // The SVG back end of paint(): builds the same picture as SVG elements, texts as text nodes.
  function SvgPainter(w, h, measureCtx) {
    this.svg = document.createElementNS(SVG_NS, "svg");
    this.svg.setAttribute("xmlns", SVG_NS);
    this.svg.setAttribute("width", String(w));
    this.svg.setAttribute("height", String(h));
    this.svg.setAttribute("viewBox", "0 0 " + w + " " + h);
    this.parent = this.svg;
    this.m = new CanvasPainter(measureCtx);
    this.clips = 0;
  }
  function n2(v) { return String(Math.round(v * 100) / 100); }
  SvgPainter.prototype = {
    add: function (tag, attrs) {
      var e = document.createElementNS(SVG_NS, tag);
      for (var k in attrs) if (Object.prototype.hasOwnProperty.call(attrs, k)) e.setAttribute(k, attrs[k]);
      this.parent.appendChild(e);
      return e;
    },
    fillRect: function (x, y, w, h, colour) { this.add("rect", { x: n2(x), y: n2(y), width: n2(w), height: n2(h), fill: colour }); },
    clip: function (x, y, w, h) {
      var id = "clip" + (++this.clips);
      var cp = this.add("clipPath", { id: id });
      var r = document.createElementNS(SVG_NS, "rect");
      r.setAttribute("x", n2(x)); r.setAttribute("y", n2(y)); r.setAttribute("width", n2(w)); r.setAttribute("height", n2(h));
      cp.appendChild(r);
      this.parent = this.add("g", { "clip-path": "url(#" + id + ")" });
    },
    unclip: function () { this.parent = this.svg; },
    dots: function (grp) {
      var gEl = this.add("g", { fill: grp.colour });
      for (var i = 0; i < grp.xs.length; i++) {
        var c = document.createElementNS(SVG_NS, "circle");
        c.setAttribute("cx", n2(grp.xs[i])); c.setAttribute("cy", n2(grp.ys[i])); c.setAttribute("r", String(grp.r));
        gEl.appendChild(c);
      }
    },
    ring: function (x, y, r, colour) { this.add("circle", { cx: n2(x), cy: n2(y), r: String(r), fill: "none", stroke: colour, "stroke-width": "1.5" }); },
    line: function (x0, y0, x1, y1, colour, width, dash) {
      var a = { x1: n2(x0), y1: n2(y0), x2: n2(x1), y2: n2(y1), stroke: colour, "stroke-width": String(width) };
      if (dash) a["stroke-dasharray"] = dash.join(" ");
      this.add("line", a);
    },
    text: function (x, y, text, align, size, rotation) {
      var a = { x: "0", y: "0", "font-family": "Calibri, Carlito, sans-serif", "font-size": String(size),
                "text-anchor": align === "end" ? "end" : align === "middle" ? "middle" : "start",
                transform: "translate(" + n2(x) + " " + n2(y) + ")" + (rotation ? " rotate(" + rotation + ")" : "") };
      this.add("text", a).textContent = text;
    },
    measure: function (text, size) { return this.m.measure(text, size); }
  };

  Manhattan.prototype.draw = function () {
    var ctx = this.canvas.getContext("2d");
    ctx.setTransform(this.ratio, 0, 0, this.ratio, 0, 0);
    var started = performance.now();
    var xt = this.paint(new CanvasPainter(ctx));
    this.lastDrawMs = performance.now() - started;
    this.canvas.setAttribute("data-x0", String(this.view.x0));
    this.canvas.setAttribute("data-x1", String(this.view.x1));
    this.canvas.setAttribute("aria-label", "Manhattan plot of " + this.d.title + ": " + this.viewText(xt));
    this.describe.textContent = this.viewText(xt);
    this.showTip(this.pinned >= 0 ? this.pinned : this.hover);
  };

  // The text alternative of the view.
  Manhattan.prototype.viewText = function (xt) {
    var d = this.d;
    var pts = this.pointsInView();
    var best = -1;
    for (var i = 0; i < pts.length; i++) if (best < 0 || d.pts.logp[pts[i]] > d.pts.logp[best]) best = pts[i];
    var where;
    if (this.view.x0 <= 0 && this.view.x1 >= d.genomeLength) {
      where = "whole genome, " + d.chromosomes.length + " chromosome" + (d.chromosomes.length === 1 ? "" : "s");
    } else if (xt.single >= 0) {
      var c = d.chromosomes[xt.single];
      var lo = Math.max(c.start, Math.round(c.start + (this.view.x0 - c.offset)));
      var hi = Math.min(c.end, Math.round(c.start + (this.view.x1 - c.offset)));
      where = "chromosome " + c.name + ", " + (d.positions === "rank" ? "rows " + fmtInt(lo) + " to " + fmtInt(hi)
        : "positions " + fmtInt(lo) + " to " + fmtInt(hi) + " (" + (lo / 1e6).toFixed(3) + " to " + (hi / 1e6).toFixed(3) + " Mb)");
    } else {
      var vis = this.visibleChromosomes();
      where = "chromosomes " + (vis.length ? d.chromosomes[vis[0]].name + " to " + d.chromosomes[vis[vis.length - 1]].name : "none");
    }
    var text = "View: " + where + ". " + fmtInt(pts.length) + " labelled point" + (pts.length === 1 ? "" : "s") + " in view";
    if (best >= 0) {
      text += "; strongest " + (d.pts.id[best] || this.placeOf(best)) + " at " + this.placeOf(best) + ", p = " + d.pts.p[best];
    }
    return text + ".";
  };

  Manhattan.prototype.placeOf = function (k) {
    var c = this.d.chromosomes[this.d.pts.chr[k]];
    return (c ? c.name : "?") + ":" + this.d.pts.pos[k];
  };

  Manhattan.prototype.nearest = function (mx, my) {
    var d = this.d;
    var best = -1, bestD = HOVER_PX * HOVER_PX;
    var x0 = this.pxToX(mx - HOVER_PX), x1 = this.pxToX(mx + HOVER_PX);
    for (var i = 0; i < d.pts.n; i++) {
      var gx = d.pts.gx[i];
      if (gx < x0 || gx > x1 || !(d.pts.logp[i] >= 0)) continue;
      var dx = this.xToPx(gx) - mx, dy = this.yToPx(Math.min(d.pts.logp[i], d.axis.top)) - my;
      var dd = dx * dx + dy * dy;
      if (dd <= bestD) { bestD = dd; best = i; }
    }
    return best;
  };

  Manhattan.prototype.showTip = function (k) {
    var tip = this.tip;
    if (k < 0 || k >= this.d.pts.n) { tip.hidden = true; return; }
    var d = this.d;
    var px = this.xToPx(d.pts.gx[k]), py = this.yToPx(Math.min(d.pts.logp[k], d.axis.top));
    if (px < this.plot.left - 1 || px > this.plot.left + this.plot.width + 1) { tip.hidden = true; return; }
    while (tip.firstChild) tip.removeChild(tip.firstChild);
    tip.appendChild(el("strong", { "class": "tip-id" }, d.pts.id[k] || "(no ID)"));
    tip.appendChild(el("span", { "class": "tip-place" }, this.placeOf(k)));
    tip.appendChild(el("span", { "class": "tip-p" }, "p = " + d.pts.p[k]));
    tip.appendChild(el("span", { "class": "tip-logp" }, "\u2212log10(p) = " + fmtLog(d.pts.logp[k])));
    if (k === this.pinned) tip.appendChild(el("span", { "class": "tip-pin" }, "pinned (click elsewhere to release)"));
    tip.hidden = false;
    var left = px + 12, top = py - 10;
    if (left + 240 > this.cssW) left = px - 12 - Math.min(240, tip.offsetWidth || 200);
    tip.style.left = Math.max(0, left) + "px";
    tip.style.top = Math.max(0, top) + "px";
  };

  Manhattan.prototype.bindPointer = function () {
    var self = this, canvas = this.canvas;
    var drag = null;
    function local(ev) {
      var r = canvas.getBoundingClientRect();
      return { x: ev.clientX - r.left, y: ev.clientY - r.top };
    }
    canvas.addEventListener("mousedown", function (ev) {
      if (ev.button !== 0) return;
      var p = local(ev);
      drag = { x: p.x, y: p.y, moved: false };
      ev.preventDefault();
      canvas.focus();
    });
    window.addEventListener("mousemove", function (ev) {
      if (!drag) return;
      var p = local(ev);
      if (Math.abs(p.x - drag.x) > 3) drag.moved = true;
      if (!drag.moved) return;
      var a = Math.max(self.plot.left, Math.min(drag.x, p.x));
      var b = Math.min(self.plot.left + self.plot.width, Math.max(drag.x, p.x));
      self.band.hidden = false;
      self.band.style.left = a + "px";
      self.band.style.width = Math.max(0, b - a) + "px";
      self.band.style.top = self.plot.top + "px";
      self.band.style.height = self.plot.height + "px";
    });
    window.addEventListener("mouseup", function (ev) {
      if (!drag) return;
      var start = drag;
      drag = null;
      self.band.hidden = true;
      var p = local(ev);
      if (start.moved) {
        var a = Math.max(self.plot.left, Math.min(start.x, p.x));
        var b = Math.min(self.plot.left + self.plot.width, Math.max(start.x, p.x));
        if (b - a >= 2) self.setView(self.pxToX(a), self.pxToX(b), "Zoomed to the dragged range.");
        return;
      }
      self.clickAt(p.x, p.y);
    });
    canvas.addEventListener("mousemove", function (ev) {
      if (drag && drag.moved) return;
      var p = local(ev);
      var k = self.nearest(p.x, p.y);
      self.hover = k;
      canvas.style.cursor = k >= 0 ? "pointer" : self.labelAt(p.x, p.y) >= 0 ? "pointer" : "crosshair";
      if (self.pinned < 0) self.showTip(k);
    });
    canvas.addEventListener("mouseleave", function () {
      self.hover = -1;
      if (self.pinned < 0) self.showTip(-1);
    });
    canvas.addEventListener("dblclick", function (ev) { ev.preventDefault(); self.reset(); });
    canvas.addEventListener("wheel", function (ev) {
      ev.preventDefault();
      var p = local(ev);
      var at = self.pxToX(Math.max(self.plot.left, Math.min(self.plot.left + self.plot.width, p.x)));
      self.zoomBy(ev.deltaY < 0 ? 0.8 : 1.25, at);
    }, { passive: false });
  };

  Manhattan.prototype.labelAt = function (x, y) {
    for (var i = 0; i < this.labelBoxes.length; i++) {
      var b = this.labelBoxes[i];
      if (x >= b.x0 && x <= b.x1 && y >= b.y0 && y <= b.y1) return b.chromosome;
    }
    return -1;
  };

  Manhattan.prototype.clickAt = function (x, y) {
    var c = this.labelAt(x, y);
    if (c >= 0) { this.zoomToChromosome(c); return; }
    var k = this.nearest(x, y);
    this.pin(k);
  };

  Manhattan.prototype.pin = function (k) {
    this.pinned = k;
    this.draw();
    if (k >= 0) this.status.textContent = "Pinned " + (this.d.pts.id[k] || this.placeOf(k)) + " at " + this.placeOf(k) + ", p = " + this.d.pts.p[k] + ".";
  };

  Manhattan.prototype.bindKeys = function () {
    var self = this;
    this.canvas.addEventListener("keydown", function (ev) {
      var handled = true;
      switch (ev.key) {
        case "+": case "=": self.zoomBy(0.5); break;
        case "-": case "_": self.zoomBy(2); break;
        case "ArrowLeft": self.pan(-0.2); break;
        case "ArrowRight": self.pan(0.2); break;
        case "0": case "Home": case "Escape": self.pin(-1); self.reset(); break;
        default: handled = false;
      }
      if (handled) ev.preventDefault();
    });
  };

  Manhattan.prototype.svgText = function () {
    var painter = new SvgPainter(this.cssW, this.cssH, document.createElement("canvas").getContext("2d"));
    this.paint(painter);
    var title = document.createElementNS(SVG_NS, "title");
    title.textContent = this.d.title;
    painter.svg.insertBefore(title, painter.svg.firstChild);
    return new XMLSerializer().serializeToString(painter.svg);
  };

  // ---- search ---------------------------------------------------------------------------------------------------

  function findChromosome(d, name) {
    var n = String(name).trim();
    var strip = function (s) { return s.replace(/^chr/i, "").toLowerCase(); };
    for (var i = 0; i < d.chromosomes.length; i++) if (d.chromosomes[i].name === n) return i;
    for (i = 0; i < d.chromosomes.length; i++) if (strip(d.chromosomes[i].name) === strip(n)) return i;
    return -1;
  }

  function parseNumber(text) {
    var t = String(text).replace(/[,_\s]/g, "");
    if (!/^\d+(\.\d+)?$/.test(t)) return NaN;
    return Number(t);
  }

  function search(plot, query) {
    var d = plot.d;
    var q = String(query).trim();
    if (!q) return "Type a variant ID, CHR:POS or CHR:START-END.";
    var lower = q.toLowerCase();
    for (var i = 0; i < d.pts.n; i++) {
      if (d.pts.id[i] && d.pts.id[i].toLowerCase() === lower) return goToPoint(plot, i);
    }
    var m = /^(.+?)[:\s]+([\d,._]+)(?:\s*[-–]\s*([\d,._]+))?$/.exec(q);
    if (m) {
      var ci = findChromosome(d, m[1]);
      if (ci >= 0) {
        var a = parseNumber(m[2]);
        if (m[3] !== undefined) {
          var b = parseNumber(m[3]);
          if (isFinite(a) && isFinite(b)) {
            plot.zoomToRange(ci, Math.min(a, b), Math.max(a, b),
              "Showing " + d.chromosomes[ci].name + ":" + Math.min(a, b) + "-" + Math.max(a, b) + ".");
            return null;
          }
        } else if (isFinite(a)) {
          for (i = 0; i < d.pts.n; i++) if (d.pts.chr[i] === ci && d.pts.pos[i] === a) return goToPoint(plot, i);
          plot.pin(-1);
          plot.zoomToRange(ci, a - 250000, a + 250000, "Showing 500 kb around " + d.chromosomes[ci].name + ":" + a + ".");
          return null;
        }
      }
    }
    var whole = findChromosome(d, q.replace(/^chromosome\s+/i, ""));
    if (whole >= 0) { plot.zoomToChromosome(whole); return null; }
    return "Not found: \u201c" + q + "\u201d. IDs are known for the strongest rows only; try CHR:POS.";
  }

  function goToPoint(plot, k) {
    var d = plot.d;
    plot.pinned = k;
    plot.zoomToRange(d.pts.chr[k], d.pts.pos[k] - 250000, d.pts.pos[k] + 250000,
      "Found " + (d.pts.id[k] || plot.placeOf(k)) + " at " + plot.placeOf(k) + ", p = " + d.pts.p[k] + ".");
    return null;
  }

  // ---- the page -------------------------------------------------------------------------------------------------

  function section(parent, title, id) {
    var s = el("section", { id: id, "aria-labelledby": id + "-h" });
    s.appendChild(el("h2", { id: id + "-h" }, title));
    parent.appendChild(s);
    return s;
  }

  function summarySection(root, d) {
    var s = section(root, "Summary", "summary");
    var sm = d.summary || {};
    var table = el("table", { "class": "summary" });
    var body = el("tbody");
    function row(label, value) {
      var tr = el("tr");
      tr.appendChild(el("th", { scope: "row" }, label));
      tr.appendChild(el("td", null, value));
      body.appendChild(tr);
    }
    row("Rows read", fmtInt(sm.read));
    row("Rows kept", fmtInt(sm.kept));
    var skipped = Array.isArray(sm.skipped) ? sm.skipped : [];
    var total = 0;
    skipped.forEach(function (x) { total += Number(x[1]) || 0; });
    row("Rows skipped", fmtInt(total));
    skipped.forEach(function (x) { row("\u2003" + String(x[0]), fmtInt(Number(x[1]))); });
    row("Hits (\u2212log10(p) \u2265 " + d.threshold + ")", fmtInt(sm.hits));
    if (sm.loci !== null && sm.loci !== undefined) row("Lead loci", fmtInt(sm.loci));
    if (sm.lambda !== null && sm.lambda !== undefined) row("Genomic inflation factor \u03bb", String(sm.lambda));
    table.appendChild(body);
    s.appendChild(table);
  }

  // What the plot draws one by one and what it summarises: every hit is named, or the page says how many are not.
  function drawnNotice(d) {
    var sm = d.summary || {};
    var shown = Number(d.pointsShown) || 0, hitsShown = Number(d.hitsShown) || 0;
    var kept = Number(sm.kept) || 0, hits = Number(sm.hits) || 0;
    var binned = Math.max(kept - shown, 0);
    var text = "Drawn one by one: " + fmtInt(shown) + " of the " + fmtInt(kept) + " kept rows";
    var p = el("p", { id: "manhattan-notice", "class": "hint" });
    if (hitsShown < hits) {
      p.setAttribute("class", "notice");
      p.setAttribute("role", "note");
      text += ", the strongest, which hold " + fmtInt(hitsShown) + " of the " + fmtInt(hits) + " hits. The other " +
        fmtInt(hits - hitsShown) + " hits are summarised in shaded cells by position and \u2212log10(p), " +
        "without their IDs; the hit file lists every hit.";
    } else {
      text += (hits > 0 ? ", every hit among them" : "") +
        (binned > 0 ? "; the other " + fmtInt(binned) + " are summarised in shaded cells by position and \u2212log10(p)." : ".");
    }
    p.textContent = text;
    return p;
  }

  function manhattanSection(root, d) {
    var s = section(root, "Manhattan plot", "manhattan");
    var bar = el("div", { "class": "toolbar", role: "toolbar", "aria-label": "Manhattan plot tools" });
    var form = el("form", { "class": "search", role: "search" });
    var label = el("label", { "for": "search-box" }, "Find");
    var input = el("input", { id: "search-box", type: "search", placeholder: "rs123, 7:1234567 or 7:1000000-2000000",
      autocomplete: "off", spellcheck: "false" });
    var go = el("button", { type: "submit" }, "Go");
    form.appendChild(label); form.appendChild(input); form.appendChild(go);
    bar.appendChild(form);
    var buttons = {};
    [["zoom-in", "Zoom in"], ["zoom-out", "Zoom out"], ["reset", "Reset"], ["save-png", "Save PNG"], ["save-svg", "Save SVG"]]
      .forEach(function (b) { buttons[b[0]] = bar.appendChild(el("button", { type: "button", id: b[0] }, b[1])); });
    s.appendChild(bar);
    var status = el("p", { id: "manhattan-status", "class": "status", role: "status", "aria-live": "polite" });
    s.appendChild(status);
    s.appendChild(drawnNotice(d));
    var host = el("div");
    s.appendChild(host);
    var describe = el("p", { id: "manhattan-view", "class": "view-text" });
    var keys = el("p", { id: "manhattan-keys", "class": "hint" },
      "Point at a dot for its ID; click to pin it. Drag to zoom to a range, turn the wheel to zoom, double-click to reset. " +
      "Click a chromosome name to zoom to it. With the plot focused: + and \u2212 zoom, arrows move, 0 or Escape resets.");
    var plot = new Manhattan(d, host, status, describe);
    s.appendChild(describe);
    s.appendChild(keys);
    form.addEventListener("submit", function (ev) {
      ev.preventDefault();
      var msg = search(plot, input.value);
      if (msg) status.textContent = msg;
    });
    buttons["zoom-in"].addEventListener("click", function () { plot.zoomBy(0.5); });
    buttons["zoom-out"].addEventListener("click", function () { plot.zoomBy(2); });
    buttons["reset"].addEventListener("click", function () { plot.pin(-1); plot.reset(); });
    buttons["save-png"].addEventListener("click", function () {
      plot.canvas.toBlob(function (blob) { if (blob) saveBlob(blob, safeFileName(d.title) + ".manhattan.png"); }, "image/png");
    });
    buttons["save-svg"].addEventListener("click", function () {
      saveBlob(new Blob([plot.svgText()], { type: "image/svg+xml" }), safeFileName(d.title) + ".manhattan.svg");
    });
    plot.draw();
    return plot;
  }

  function leadsSection(root, d, plot) {
    if (!Array.isArray(d.leads)) return;
    var s = section(root, "Lead loci", "leads");
    s.appendChild(el("p", { "class": "hint" }, d.leads.length + " loci (hits within " + fmtInt(d.leadWindow) +
      " bp of a stronger lead join its locus). Click a row to zoom to its locus; click a column title to sort."));
    var cols = [
      ["Chromosome", function (r) { return r.chr; }, function (r) { var c = d.chromosomes[r.chr]; return c ? c.name : ""; }],
      ["Lead position", function (r) { return r.pos; }, function (r) { return fmtInt(r.pos); }],
      ["Lead ID", function (r) { return String(r.id || ""); },
        function (r) { return String(r.id || "") + (r.label ? " (" + r.label + ")" : ""); }],
      ["p", function (r) { return -r.logp; }, function (r) { return String(r.p); }],
      ["\u2212log10(p)", function (r) { return r.logp; }, function (r) { return fmtLog(r.logp); }],
      ["Start", function (r) { return r.start; }, function (r) { return fmtInt(r.start); }],
      ["End", function (r) { return r.end; }, function (r) { return fmtInt(r.end); }],
      ["Hits", function (r) { return r.hits; }, function (r) { return fmtInt(r.hits); }]
    ];
    var rows = d.leads.slice();
    var sortCol = -1, sortDir = 1;
    var table = el("table", { "class": "leads", id: "leads-table" });
    var thead = el("thead"), trh = el("tr");
    var headers = [];
    cols.forEach(function (c, i) {
      var th = el("th", { scope: "col", "aria-sort": "none" });
      var b = el("button", { type: "button", "class": "sort" }, c[0]);
      b.addEventListener("click", function () {
        if (sortCol === i) sortDir = -sortDir; else { sortCol = i; sortDir = 1; }
        rows.sort(function (x, y) {
          var a = c[1](x), bb = c[1](y);
          return (a < bb ? -1 : a > bb ? 1 : 0) * sortDir;
        });
        headers.forEach(function (h, j) { h.setAttribute("aria-sort", j === sortCol ? (sortDir > 0 ? "ascending" : "descending") : "none"); });
        fill();
      });
      th.appendChild(b);
      headers.push(th);
      trh.appendChild(th);
    });
    thead.appendChild(trh);
    table.appendChild(thead);
    var tbody = el("tbody");
    table.appendChild(tbody);
    function fill() {
      while (tbody.firstChild) tbody.removeChild(tbody.firstChild);
      rows.forEach(function (r) {
        var tr = el("tr", { tabindex: "0", "class": "lead" });
        cols.forEach(function (c) { tr.appendChild(el("td", null, c[2](r))); });
        var go = function () {
          var c = d.chromosomes[r.chr];
          var flank = Math.max(50000, Math.round((r.end - r.start) * 0.1));
          plot.pinned = -1;
          for (var k = 0; k < d.pts.n; k++) if (d.pts.chr[k] === r.chr && d.pts.pos[k] === r.pos) { plot.pinned = k; break; }
          plot.zoomToRange(r.chr, r.start - flank, r.end + flank,
            "Locus of " + (r.id || (c ? c.name : "?") + ":" + r.pos) + ": " + (c ? c.name : "?") + ":" + r.start + "-" + r.end + ".");
          plot.canvas.scrollIntoView({ block: "nearest" });
        };
        tr.addEventListener("click", go);
        tr.addEventListener("keydown", function (ev) { if (ev.key === "Enter" || ev.key === " ") { ev.preventDefault(); go(); } });
        tbody.appendChild(tr);
      });
    }
    fill();
    var wrap = el("div", { "class": "table-wrap" });
    wrap.appendChild(table);
    s.appendChild(wrap);
  }

  function imageSections(root, d) {
    var im = d.images || {};
    var safe = function (src) { return typeof src === "string" && /^data:image\/(png|jpeg|svg\+xml);base64,[A-Za-z0-9+\/=]*$/.test(src); };
    if (safe(im.qq)) {
      var s = section(root, "QQ plot", "qq");
      var fig = el("figure");
      fig.appendChild(el("img", { src: im.qq, alt: String(im.qqAlt || "QQ plot"), "class": "qq" }));
      if (d.summary && d.summary.lambda !== null && d.summary.lambda !== undefined)
        fig.appendChild(el("figcaption", null, "Genomic inflation factor \u03bb = " + d.summary.lambda));
      s.appendChild(fig);
    }
    var regional = Array.isArray(im.regional) ? im.regional.filter(function (r) { return r && safe(r.src); }) : [];
    if (regional.length) {
      var r = section(root, "Regional plots", "regional");
      regional.forEach(function (x) {
        var f = el("figure");
        f.appendChild(el("img", { src: x.src, alt: String(x.alt || x.title || "Regional plot") }));
        f.appendChild(el("figcaption", null, String(x.title || "")));
        r.appendChild(f);
      });
    }
  }

  function commandSection(root, d) {
    var s = section(root, "Command", "command");
    var args = Array.isArray(d.command) ? d.command.map(String) : [];
    var quoted = args.map(function (a) { return /^[A-Za-z0-9_.,:;\/=+@%-]+$/.test(a) ? a : "'" + a.replace(/'/g, "'\\''") + "'"; });
    s.appendChild(el("pre", { id: "command-line" }, quoted.join(" ")));
  }

  function build() {
    var root = document.getElementById("report");
    var d;
    try {
      d = readData();
    } catch (e) {
      root.appendChild(el("p", { "class": "error" }, "The report's data cannot be read: " + e.message));
      return;
    }
    document.title = d.title ? d.title + " \u2013 Vennrick report" : "Vennrick report";
    var head = el("header");
    head.appendChild(el("h1", { id: "report-title" }, d.title));
    var p = el("p", { "class": "input" });
    p.appendChild(document.createTextNode("Table: "));
    p.appendChild(el("code", { id: "report-input" }, d.input === "-" ? "standard input" : String(d.input || "")));
    head.appendChild(p);
    root.appendChild(head);
    summarySection(root, d);
    var plot = manhattanSection(root, d);
    imageSections(root, d);
    leadsSection(root, d, plot);
    commandSection(root, d);
    root.appendChild(el("footer", null, "Made by Vennrick " + String(d.version || "") + "."));
    root.setAttribute("aria-busy", "false");
    // For tests and for scripting from the console: the view and the geometry, read only.
    window.vennrickPage = {
      view: function () { return { x0: plot.view.x0, x1: plot.view.x1 }; },
      plotBox: function () { return { left: plot.plot.left, top: plot.plot.top, width: plot.plot.width, height: plot.plot.height }; },
      pixelOf: function (chr, pos, logp) {
        var c = d.chromosomes[chr];
        return { x: plot.xToPx(c.offset + (pos - c.start)), y: plot.yToPx(Math.min(logp, d.axis.top)) };
      },
      axis: function () { return plot.xTicks(); },
      drawMs: function () { return plot.lastDrawMs; },
      svgText: function () { return plot.svgText(); },
      ready: true
    };
  }

  if (document.readyState === "loading") document.addEventListener("DOMContentLoaded", build); else build();
})();
