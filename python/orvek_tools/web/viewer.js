// orvek-view's page: follows /events (one sample per message) and draws the arm, its
// numbers and a rolling plot of the joints. Everything is drawn on 2D canvases.
"use strict";

const TRAIL_SECONDS = 5;
const PLOT_SECONDS = 10;
const STALE_SECONDS = 1.5;
const COLORS = ["#4e9af1", "#f29d38", "#57c27b", "#e5605a", "#b07fe0", "#d7c84c"];
const AXIS_COLORS = ["#ef5350", "#66bb6a", "#42a5f5"];

const armCanvas = document.getElementById("arm");
const plotCanvas = document.getElementById("plot");
const statusBox = document.getElementById("status");

let model = { name: "", reach: 1000, length_unit: "mm", joint_unit: "deg", address: "", rate: 50 };
let latest = null;       // the last message
let lastMessageAt = 0;   // performance.now() of the last message
const trail = [];        // {t, p}: the tool's positions, sample time
const history = [];      // {t, joint}
let dirty = true;

// --- camera: orbit about a point above the base ---------------------------------------

const camera = { azimuth: 0, elevation: 0, distance: 0, target: [0, 0, 0] };

function resetCamera() {
  camera.azimuth = -0.95;
  camera.elevation = 0.32;
  camera.distance = model.reach * 1.55;
  camera.target = [model.reach * 0.12, 0, model.reach * 0.22];
  dirty = true;
}

function cameraBasis() {
  const ce = Math.cos(camera.elevation), se = Math.sin(camera.elevation);
  const ca = Math.cos(camera.azimuth), sa = Math.sin(camera.azimuth);
  const back = [ce * ca, ce * sa, se];  // from the target towards the eye
  const eye = camera.target.map((v, i) => v + camera.distance * back[i]);
  const forward = back.map((v) => -v);
  const right = normalize(cross(forward, [0, 0, 1]));
  const up = cross(right, forward);
  return { eye, forward, right, up };
}

function cross(a, b) {
  return [a[1] * b[2] - a[2] * b[1], a[2] * b[0] - a[0] * b[2], a[0] * b[1] - a[1] * b[0]];
}
function dot(a, b) { return a[0] * b[0] + a[1] * b[1] + a[2] * b[2]; }
function normalize(v) { const n = Math.hypot(...v) || 1; return v.map((x) => x / n); }

function projector(width, height) {
  const basis = cameraBasis();
  const focal = Math.min(width, height) * 1.35;  // as drawArm's
  const near = model.reach * 0.05;
  return (p) => {
    const d = [p[0] - basis.eye[0], p[1] - basis.eye[1], p[2] - basis.eye[2]];
    const z = dot(d, basis.forward);
    if (z < near) return null;
    return { x: width / 2 + (focal * dot(d, basis.right)) / z, y: height / 2 - (focal * dot(d, basis.up)) / z, z };
  };
}

// --- drawing the scene -------------------------------------------------------------------

function fitCanvas(canvas) {
  const ratio = window.devicePixelRatio || 1;
  const w = Math.max(1, Math.round(canvas.clientWidth * ratio));
  const h = Math.max(1, Math.round(canvas.clientHeight * ratio));
  if (canvas.width !== w || canvas.height !== h) { canvas.width = w; canvas.height = h; }
  const g = canvas.getContext("2d");
  g.setTransform(ratio, 0, 0, ratio, 0, 0);
  return { g, width: canvas.clientWidth, height: canvas.clientHeight };
}

function niceStep(span) {
  const raw = span, power = Math.pow(10, Math.floor(Math.log10(raw)));
  for (const m of [1, 2, 5, 10]) if (m * power >= raw) return m * power;
  return 10 * power;
}

function line(g, project, a, b) {
  const p = project(a), q = project(b);
  if (!p || !q) return;
  g.beginPath(); g.moveTo(p.x, p.y); g.lineTo(q.x, q.y); g.stroke();
}

function drawGrid(g, project) {
  const step = niceStep(model.reach / 8);
  const extent = Math.ceil(model.reach / step) * step;
  g.lineWidth = 1;
  for (let v = -extent; v <= extent + 1e-9; v += step) {
    const major = Math.abs(v) < 1e-9;
    g.strokeStyle = major ? "#3a414d" : "#262b33";
    line(g, project, [v, -extent, 0], [v, extent, 0]);
    line(g, project, [-extent, v, 0], [extent, v, 0]);
  }
  // The base frame's axes, one grid step long.
  g.lineWidth = 2;
  for (let k = 0; k < 3; k++) {
    const end = [0, 0, 0]; end[k] = step;
    g.strokeStyle = AXIS_COLORS[k] + "99";
    line(g, project, [0, 0, 0], end);
  }
  return step;
}

function drawBase(g, project) {
  const radius = model.reach * 0.07, ring = [];
  for (let i = 0; i <= 32; i++) {
    const a = (i / 32) * 2 * Math.PI;
    const p = project([radius * Math.cos(a), radius * Math.sin(a), 0]);
    if (!p) return;
    ring.push(p);
  }
  g.beginPath();
  ring.forEach((p, i) => (i ? g.lineTo(p.x, p.y) : g.moveTo(p.x, p.y)));
  g.fillStyle = "#2c323c"; g.fill();
  g.strokeStyle = "#4a5260"; g.lineWidth = 1.5; g.stroke();
}

function drawTrail(g, project, now) {
  g.lineWidth = 2;
  g.lineCap = "round";
  for (let i = 1; i < trail.length; i++) {
    const p = project(trail[i - 1].p), q = project(trail[i].p);
    if (!p || !q) continue;
    const age = now - trail[i].t;
    g.strokeStyle = `rgba(255, 196, 87, ${Math.max(0.05, 1 - age / TRAIL_SECONDS).toFixed(3)})`;
    g.beginPath(); g.moveTo(p.x, p.y); g.lineTo(q.x, q.y); g.stroke();
  }
}

function drawArm(g, project, sample, width) {
  const points = sample.points.map(project);
  const focal = Math.min(width, armCanvas.clientHeight) * 1.35;
  g.lineCap = "round";
  // Links: a dark outline under a light body, thicker near the camera.
  for (const [style, extra] of [["#0b0d10", 5], [sample.connected ? "#c9d1dc" : "#6d7480", 0]]) {
    for (let i = 1; i < points.length; i++) {
      const p = points[i - 1], q = points[i];
      if (!p || !q) continue;
      g.strokeStyle = style;
      // About 3 % of the reach wide, in perspective.
      g.lineWidth = Math.max(3, (focal * model.reach * 0.03) / ((p.z + q.z) / 2)) + extra;
      g.beginPath(); g.moveTo(p.x, p.y); g.lineTo(q.x, q.y); g.stroke();
    }
  }
  // Joints.
  points.slice(0, -1).forEach((p, i) => {
    if (!p) return;
    g.beginPath(); g.arc(p.x, p.y, i === 0 ? 7 : 6, 0, 2 * Math.PI);
    g.fillStyle = COLORS[i]; g.fill();
    g.lineWidth = 2; g.strokeStyle = "#0b0d10"; g.stroke();
  });
  // The tool frame's axes.
  const tool = sample.points[sample.points.length - 1];
  const length = model.reach * 0.15;
  g.lineWidth = 3;
  g.font = "12px system-ui, sans-serif";
  sample.axes.forEach((axis, k) => {
    const end = tool.map((v, i) => v + length * axis[i]);
    g.strokeStyle = AXIS_COLORS[k];
    line(g, project, tool, end);
    const e = project(end);
    if (e) { g.fillStyle = AXIS_COLORS[k]; g.fillText("xyz"[k], e.x + 4, e.y - 4); }
  });
  const t = points[points.length - 1];
  if (t) { g.beginPath(); g.arc(t.x, t.y, 4, 0, 2 * Math.PI); g.fillStyle = "#ffc457"; g.fill(); }
}

function drawScene() {
  const { g, width, height } = fitCanvas(armCanvas);
  g.clearRect(0, 0, width, height);
  const project = projector(width, height);
  const step = drawGrid(g, project);
  drawBase(g, project);
  if (latest && latest.points) {
    drawTrail(g, project, latest.t);
    drawArm(g, project, latest, width);
  }
  g.fillStyle = "#8a93a3";
  g.font = "12px system-ui, sans-serif";
  g.fillText(`grid ${step} ${model.length_unit}`, width - 110, height - 10);
}

// --- the rolling plot of the joints -------------------------------------------------------

function drawPlot() {
  const { g, width, height } = fitCanvas(plotCanvas);
  g.clearRect(0, 0, width, height);
  const left = 42, right = 8, top = 8, bottom = 20;
  const w = width - left - right, h = height - top - bottom;
  const end = history.length ? history[history.length - 1].t : 0, start = end - PLOT_SECONDS;
  let low = Infinity, high = -Infinity;
  for (const s of history) for (const v of s.joint) { low = Math.min(low, v); high = Math.max(high, v); }
  if (!isFinite(low)) { low = -180; high = 180; }
  if (high - low < 2) { const mid = (high + low) / 2; low = mid - 1; high = mid + 1; }
  const pad = (high - low) * 0.08; low -= pad; high += pad;
  const x = (t) => left + ((t - start) / PLOT_SECONDS) * w;
  const y = (v) => top + (1 - (v - low) / (high - low)) * h;
  g.font = "11px system-ui, sans-serif";
  g.fillStyle = "#8a93a3";
  g.strokeStyle = "#262b33";
  g.lineWidth = 1;
  const step = niceStep((high - low) / 5);
  for (let v = Math.ceil(low / step) * step; v <= high; v += step) {
    g.beginPath(); g.moveTo(left, y(v)); g.lineTo(left + w, y(v)); g.stroke();
    g.fillText(String(+v.toFixed(6)), 4, y(v) + 4);
  }
  for (let s = 0; s <= PLOT_SECONDS; s += 2) {
    const t = start + s;
    g.beginPath(); g.moveTo(x(t), top); g.lineTo(x(t), top + h); g.stroke();
    g.fillText(s === PLOT_SECONDS ? "now" : `${s - PLOT_SECONDS} s`, x(t) - (s === PLOT_SECONDS ? 22 : 12), height - 5);
  }
  g.lineWidth = 1.6;
  for (let j = 0; j < 6; j++) {
    g.strokeStyle = COLORS[j];
    g.beginPath();
    history.forEach((s, i) => (i ? g.lineTo(x(s.t), y(s.joint[j])) : g.moveTo(x(s.t), y(s.joint[j]))));
    g.stroke();
  }
}

// --- numbers and status -------------------------------------------------------------------

function show(id, value, digits) {
  document.getElementById(id).textContent = value == null ? "–" : value.toFixed(digits);
}

function showNumbers(sample) {
  for (let i = 0; i < 6; i++) show(`joint-${i + 1}`, sample.joint ? sample.joint[i] : null, 3);
  ["x", "y", "z"].forEach((k, i) => show(`pose-${k}`, sample.pose ? sample.pose[i] : null, 2));
  ["roll", "pitch", "yaw"].forEach((k, i) => show(`pose-${k}`, sample.pose ? sample.pose[3 + i] : null, 4));
  document.getElementById("sample-time").textContent =
    sample.t == null ? "" : `sample at ${sample.t.toFixed(2)} s · ${model.rate} Hz`;
}

function setStatus(kind, text) {
  statusBox.className = `status ${kind}`;
  statusBox.textContent = text;
}

function showStatus() {
  if (!latest) return;
  if (!latest.connected) {
    setStatus("disconnected", `disconnected: ${latest.error} · reconnecting every second`);
  } else if ((performance.now() - lastMessageAt) / 1000 > STALE_SECONDS) {
    setStatus("stale", `connected to ${model.address}, no sample for ${((performance.now() - lastMessageAt) / 1000).toFixed(0)} s`);
  } else {
    setStatus("connected", `connected to ${model.address}`);
  }
}

function take(sample) {
  const previous = latest;
  latest = sample;
  lastMessageAt = performance.now();
  if (sample.joint && sample.connected && (!previous || previous.t !== sample.t)) {
    trail.push({ t: sample.t, p: sample.points[sample.points.length - 1] });
    history.push({ t: sample.t, joint: sample.joint });
    while (trail.length && trail[0].t < sample.t - TRAIL_SECONDS) trail.shift();
    while (history.length && history[0].t < sample.t - PLOT_SECONDS) history.shift();
  }
  showNumbers(sample);
  showStatus();
  dirty = true;
}

// --- input ---------------------------------------------------------------------------------

let drag = null;
armCanvas.addEventListener("pointerdown", (e) => {
  drag = { x: e.clientX, y: e.clientY };
  armCanvas.setPointerCapture(e.pointerId);
});
armCanvas.addEventListener("pointermove", (e) => {
  if (!drag) return;
  camera.azimuth -= (e.clientX - drag.x) * 0.008;
  camera.elevation = Math.min(1.5, Math.max(-0.2, camera.elevation + (e.clientY - drag.y) * 0.008));
  drag = { x: e.clientX, y: e.clientY };
  dirty = true;
});
armCanvas.addEventListener("pointerup", () => { drag = null; });
armCanvas.addEventListener("wheel", (e) => {
  e.preventDefault();
  camera.distance = Math.min(model.reach * 10, Math.max(model.reach * 0.4, camera.distance * Math.exp(e.deltaY * 0.001)));
  dirty = true;
}, { passive: false });
armCanvas.addEventListener("dblclick", resetCamera);
window.addEventListener("resize", () => { dirty = true; });

function frame() {
  if (dirty) { dirty = false; drawScene(); drawPlot(); }
  requestAnimationFrame(frame);
}

async function start() {
  const response = await fetch("/model.json");
  model = await response.json();
  document.getElementById("model-name").textContent = `${model.name} · ${model.address} · ${model.rate} Hz`;
  document.getElementById("joint-unit").textContent = model.joint_unit === "deg" ? "(degrees)" : "(radians)";
  document.getElementById("pose-unit").textContent = `x, y, z in ${model.length_unit}; roll, pitch, yaw as the controller reports them`;
  resetCamera();
  const events = new EventSource("/events");
  events.onmessage = (e) => take(JSON.parse(e.data));
  events.onerror = () => setStatus("disconnected", "the viewer is not reachable · retrying");
  setInterval(showStatus, 500);
  requestAnimationFrame(frame);
}

start();
