// The quality report's viewer: decodes the data the tool embedded, draws the mesh with one
// colour per triangle, and wires the metric choice, legend, worst-triangle list and
// histograms. Classic script over the global THREE, so that the page needs no module
// loading and opens from a file.
(function () {
  'use strict';
  const started = performance.now();
  // Milliseconds since the script started, per phase, for the load-time test.
  const phases = {};
  const mark = (name) => { phases[name] = Math.round(performance.now() - started); };
  const data = JSON.parse(document.getElementById('report-data').textContent);

  function bytesOf(text) {
    if (typeof Uint8Array.fromBase64 === 'function') return Uint8Array.fromBase64(text).buffer;
    const binary = atob(text);
    const bytes = new Uint8Array(binary.length);
    for (let i = 0; i < binary.length; ++i) bytes[i] = binary.charCodeAt(i);
    return bytes.buffer;
  }

  function format(value) {
    if (value === null || value === undefined || Number.isNaN(value)) return '–';
    const magnitude = Math.abs(value);
    if (magnitude !== 0 && (magnitude < 1e-3 || magnitude >= 1e6)) return value.toExponential(3);
    return String(Number(value.toPrecision(5)));
  }

  // Colour ramp from blue (low) through green to red (high).
  const STOPS = [[0.19, 0.33, 0.80], [0.10, 0.70, 0.85], [0.30, 0.75, 0.30],
                 [0.95, 0.80, 0.15], [0.85, 0.15, 0.12]];
  const NO_VALUE = [0.72, 0.72, 0.72];
  function ramp(share) {
    const x = Math.min(1, Math.max(0, share)) * (STOPS.length - 1);
    const i = Math.min(STOPS.length - 2, Math.floor(x));
    const f = x - i;
    return [0, 1, 2].map((k) => STOPS[i][k] + (STOPS[i + 1][k] - STOPS[i][k]) * f);
  }
  // The ramp in 256 steps as bytes, so that colouring a million corners allocates nothing.
  const RAMP = new Uint8Array(256 * 3);
  for (let i = 0; i < 256; ++i) RAMP.set(ramp(i / 255).map((c) => Math.round(c * 255)), 3 * i);
  function groupColour(group) {
    if (!(group >= 1)) return [0.82, 0.82, 0.82];
    const hue = (group * 0.618033988749895) % 1;
    const c = new THREE.Color().setHSL(hue, 0.75, 0.5);
    return [c.r, c.g, c.b];
  }

  // 1. Summary lines.
  document.getElementById('title').textContent = 'Quality report: ' + data.title;
  document.title = 'Quality report: ' + data.title;
  document.getElementById('summary').textContent =
    data.nbTriangles.toLocaleString('en') + ' triangles, ' + data.nbNodes.toLocaleString('en') +
    ' nodes';
  if (data.view.decimated) {
    const note = document.getElementById('decimated');
    note.hidden = false;
    note.textContent = 'Decimated view: the ' + data.nbTriangles.toLocaleString('en') +
      ' triangles are drawn as ' + data.view.nbTriangles.toLocaleString('en') +
      ' (vertex clustering), each coloured by one of the triangles it stands for. ' +
      'Histograms, ranges and the worst triangles use every triangle.';
  }

  // 2. The mesh, one vertex per triangle corner so that each triangle has its own colour.
  const nodes = new Float32Array(bytesOf(data.view.nodes));
  const triangles = new Int32Array(bytesOf(data.view.triangles));
  const nbShown = triangles.length / 3;
  const positions = new Float32Array(nbShown * 9);
  for (let c = 0; c < 3 * nbShown; ++c) {
    const n = 3 * triangles[c];
    positions[3 * c] = nodes[n];
    positions[3 * c + 1] = nodes[n + 1];
    positions[3 * c + 2] = nodes[n + 2];
  }
  mark('decoded');
  const geometry = new THREE.BufferGeometry();
  geometry.setAttribute('position', new THREE.BufferAttribute(positions, 3));
  geometry.computeVertexNormals();
  const colours = new Uint8Array(nbShown * 9);
  const colourAttribute = new THREE.BufferAttribute(colours, 3, true);
  geometry.setAttribute('color', colourAttribute);
  const fields = data.fields.map((field) =>
    Object.assign({}, field, { shown: new Float32Array(bytesOf(field.values)) }));

  mark('geometry');
  const canvas = document.getElementById('canvas');
  // Antialiasing multiplies the cost of every pixel, which a software renderer feels on a
  // large view; the decimated view goes without it.
  const renderer = new THREE.WebGLRenderer({ canvas, antialias: !data.view.decimated,
    preserveDrawingBuffer: true });
  renderer.setPixelRatio(window.devicePixelRatio || 1);
  renderer.setClearColor(0xffffff);
  mark('context');
  const scene = new THREE.Scene();
  const radius = Math.max(data.diagonal / 2, 1e-9);
  const camera = new THREE.PerspectiveCamera(35, 1, radius / 1000, radius * 100);
  const HOME = new THREE.Vector3(radius * 1.5, radius * 1.1, radius * 2.1);
  camera.position.copy(HOME);
  scene.add(new THREE.HemisphereLight(0xffffff, 0x8a8f99, 0.75));
  const light = new THREE.DirectionalLight(0xffffff, 0.55);
  light.position.set(1, 2, 3);
  camera.add(light);
  scene.add(camera);
  const material = new THREE.MeshLambertMaterial({ vertexColors: true, side: THREE.DoubleSide });
  scene.add(new THREE.Mesh(geometry, material));
  const marker = new THREE.Mesh(new THREE.SphereGeometry(radius * 0.012, 16, 12),
    new THREE.MeshBasicMaterial({ color: 0xff00aa, depthTest: false }));
  marker.renderOrder = 1;
  marker.visible = false;
  scene.add(marker);
  const controls = new THREE.OrbitControls(camera, canvas);
  controls.addEventListener('change', render);

  function render() {
    renderer.render(scene, camera);
  }
  function fitCanvas() {
    const box = canvas.parentElement.getBoundingClientRect();
    renderer.setSize(box.width, box.height, false);
    camera.aspect = box.width / Math.max(1, box.height);
    camera.updateProjectionMatrix();
  }
  function resize() {
    fitCanvas();
    render();
  }
  window.addEventListener('resize', resize);

  // 3. Colouring, legend and list of the chosen field.
  let current = null;
  function colourBy(field) {
    const low = field.min, high = field.max;
    const scale = high > low ? 255 / (high - low) : 0;
    const none = NO_VALUE.map((c) => Math.round(c * 255));
    const groupTable = new Map();
    for (let t = 0; t < nbShown; ++t) {
      const value = field.shown[t];
      let table = RAMP, at = 0;
      if (field.kind === 'groups') {
        if (!groupTable.has(value)) groupTable.set(value, groupColour(value).map((c) => c * 255));
        table = groupTable.get(value);
      } else if (Number.isNaN(value)) {
        table = none;
      } else {
        at = 3 * (scale > 0 ? Math.min(255, Math.max(0, Math.round((value - low) * scale))) : 128);
      }
      for (let k = 0; k < 9; k += 3) {
        colours[9 * t + k] = table[at];
        colours[9 * t + k + 1] = table[at + 1];
        colours[9 * t + k + 2] = table[at + 2];
      }
    }
    colourAttribute.needsUpdate = true;
  }

  function showLegend(field) {
    const bar = document.getElementById('legend-bar');
    const range = document.getElementById('legend-range');
    const text = document.getElementById('legend-text');
    const groups = document.getElementById('legend-groups');
    groups.textContent = '';
    range.hidden = true;
    if (field.kind === 'groups') {
      bar.style.background = '#d1d1d1';
      document.getElementById('legend-min').textContent = '';
      document.getElementById('legend-max').textContent = '';
      text.textContent = field.nbGroups + ' groups, ' + field.nbValues + ' triangles; grey: none';
      field.groups.slice(0, 12).forEach((g) => {
        const item = document.createElement('div');
        const swatch = document.createElement('span');
        const rgb = groupColour(g.group).map((c) => Math.round(c * 255));
        swatch.style.background = 'rgb(' + rgb.join(',') + ')';
        item.append(swatch, 'group ' + g.group + ': ' + g.size + ' triangles');
        groups.append(item);
      });
      return;
    }
    bar.style.background = 'linear-gradient(to right, ' + STOPS.map((s, i) =>
      'rgb(' + s.map((c) => Math.round(c * 255)).join(',') + ') ' +
      (100 * i / (STOPS.length - 1)) + '%').join(', ') + ')';
    const unit = field.unit ? ' ' + field.unit : '';
    document.getElementById('legend-min').textContent = format(field.min) + unit;
    document.getElementById('legend-max').textContent = format(field.max) + unit;
    let description = field.nbValues.toLocaleString('en') + ' triangles with a value';
    if (field.acceptable) {
      const lo = field.acceptable[0], hi = field.acceptable[1];
      const span = field.max - field.min;
      const from = lo === null ? 0 : span > 0 ? (lo - field.min) / span : 0;
      const to = hi === null ? 1 : span > 0 ? (hi - field.min) / span : 1;
      const left = Math.max(0, Math.min(1, from)), right = Math.max(0, Math.min(1, to));
      if (right > left || (span === 0 && from <= 0 && to >= 1)) {
        range.hidden = false;
        range.style.left = (100 * left) + '%';
        range.style.width = Math.max(0.5, 100 * (right - left)) + '%';
      }
      description = 'Acceptable range: [' + (lo === null ? '−∞' : format(lo)) + ', ' +
        (hi === null ? '∞' : format(hi)) + ']' + unit + ' (framed); ' +
        field.nbOutside.toLocaleString('en') + ' of ' + field.nbValues.toLocaleString('en') +
        ' triangles outside';
    }
    text.textContent = description;
  }

  function flyTo(centre, item) {
    document.querySelectorAll('#worst li').forEach((li) => li.classList.remove('active'));
    item.classList.add('active');
    const target = new THREE.Vector3(centre[0], centre[1], centre[2]);
    marker.position.copy(target);
    marker.visible = true;
    const direction = camera.position.clone().sub(controls.target).normalize();
    const goal = target.clone().add(direction.multiplyScalar(radius * 0.35));
    const fromPosition = camera.position.clone(), fromTarget = controls.target.clone();
    const begin = performance.now();
    (function step() {
      const f = Math.min(1, (performance.now() - begin) / 600);
      const s = f * f * (3 - 2 * f);
      camera.position.lerpVectors(fromPosition, goal, s);
      controls.target.lerpVectors(fromTarget, target, s);
      controls.update();
      render();
      if (f < 1) requestAnimationFrame(step);
    })();
  }

  function showWorst(field) {
    const list = document.getElementById('worst');
    list.textContent = '';
    const entries = field.kind === 'groups' ? field.groups : field.worst;
    document.getElementById('worst-title').textContent =
      field.kind === 'groups' ? 'Groups' : 'Worst triangles';
    if (entries.length === 0) {
      const item = document.createElement('li');
      item.textContent = field.kind === 'groups' ? 'No group: nothing to show.' : 'No values.';
      list.append(item);
    }
    entries.forEach((entry) => {
      const item = document.createElement('li');
      const label = document.createElement('b');
      if (field.kind === 'groups') {
        label.textContent = 'group ' + entry.group;
        item.append(label, ': ' + entry.size + ' triangles, first #' + entry.triangle);
      } else {
        label.textContent = format(entry.value) + (field.unit ? ' ' + field.unit : '');
        item.append('#' + entry.triangle + ': ', label);
        if (entry.outside) item.classList.add('outside');
      }
      item.title = 'Fly to triangle ' + entry.triangle;
      item.addEventListener('click', () => flyTo(entry.centre, item));
      list.append(item);
    });
  }

  function showWhole() {
    document.querySelectorAll('#worst li').forEach((li) => li.classList.remove('active'));
    marker.visible = false;
    camera.position.copy(HOME);
    controls.target.set(0, 0, 0);
    controls.update();
    render();
  }
  document.getElementById('whole').addEventListener('click', showWhole);

  const select = document.getElementById('metric');
  fields.forEach((field, index) => {
    const option = document.createElement('option');
    option.value = String(index);
    option.textContent = field.name;
    select.append(option);
  });
  function choose(index) {
    current = fields[index];
    select.value = String(index);
    colourBy(current);
    showLegend(current);
    showWorst(current);
    document.querySelectorAll('#histograms figure').forEach((figure) =>
      figure.classList.toggle('active', figure.dataset.field === String(index)));
    marker.visible = false;
    render();
    window.reportState.field = current.name;
  }
  select.addEventListener('change', () => choose(Number(select.value)));

  // 4. One histogram per measured field; bars outside the acceptable range in red.
  const SVG = 'http://www.w3.org/2000/svg';
  const histograms = document.getElementById('histograms');
  fields.forEach((field, index) => {
    if (field.kind !== 'scalar' || !field.histogram || field.nbValues === 0) return;
    const figure = document.createElement('figure');
    figure.dataset.field = String(index);
    const caption = document.createElement('figcaption');
    caption.textContent = field.name + (field.unit ? ' (' + field.unit + ')' : '');
    const svg = document.createElementNS(SVG, 'svg');
    svg.setAttribute('viewBox', '0 0 300 110');
    svg.setAttribute('preserveAspectRatio', 'none');
    const counts = field.histogram;
    const tallest = Math.max(1, ...counts);
    const width = 300 / counts.length;
    counts.forEach((count, b) => {
      const middle = field.min + (field.max - field.min) * (b + 0.5) / counts.length;
      const inside = !field.acceptable ||
        ((field.acceptable[0] === null || middle >= field.acceptable[0]) &&
         (field.acceptable[1] === null || middle <= field.acceptable[1]));
      const height = count > 0 ? Math.max(1, 90 * count / tallest) : 0;
      const bar = document.createElementNS(SVG, 'rect');
      bar.setAttribute('x', b * width + 0.5);
      bar.setAttribute('y', 92 - height);
      bar.setAttribute('width', width - 1);
      bar.setAttribute('height', height);
      bar.setAttribute('fill', inside ? '#4a8f5c' : '#c0453a');
      const tip = document.createElementNS(SVG, 'title');
      tip.textContent = count + ' triangles around ' + format(middle);
      bar.append(tip);
      svg.append(bar);
    });
    [[2, 'start', field.min], [298, 'end', field.max]].forEach(([x, anchor, value]) => {
      const label = document.createElementNS(SVG, 'text');
      label.setAttribute('x', x);
      label.setAttribute('y', 106);
      label.setAttribute('text-anchor', anchor);
      label.setAttribute('class', 'axis');
      label.textContent = format(value);
      svg.append(label);
    });
    figure.append(caption, svg);
    figure.addEventListener('click', () => choose(index));
    histograms.append(figure);
  });

  // 5. First picture; the state tells a test (or a curious user) what is shown.
  window.reportState = { ready: false, field: null, loadMs: 0, fields: fields.map((f) => f.name),
    phases };
  window.reportSelect = (name) => choose(fields.findIndex((f) => f.name === name));
  window.reportShowWhole = showWhole;
  controls.target.set(0, 0, 0);
  controls.update();
  fitCanvas();
  if (fields.length > 0) choose(0);
  else render();
  mark('coloured');
  // The draw calls are queued; reading a pixel waits until the picture is complete.
  renderer.getContext().readPixels(0, 0, 1, 1, 0x1908, 0x1401, new Uint8Array(4));
  mark('drawn');
  window.reportState.loadMs = performance.now() - started;
  window.reportState.ready = true;
})();
