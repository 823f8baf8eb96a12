// Writes a closed binary STL torus of about N triangles (default 1,000,000) with its
// nodes jittered, so that the quality metrics spread: the input of the report's load-time
// test.   node make-big-mesh.js OUT.stl [N]
'use strict';
const fs = require('fs');
const out = process.argv[2];
const wanted = Number(process.argv[3] || 1000000);
const nu = Math.round(Math.sqrt(wanted)) , nv = Math.round(wanted / (2 * nu));
const R = 10, r = 3;
let seed = 12345;
const random = () => ((seed = (seed * 1103515245 + 12345) >>> 0) / 4294967296);
const nodes = new Float32Array(nu * nv * 3);
for (let i = 0; i < nu; ++i) {
  for (let j = 0; j < nv; ++j) {
    const u = 2 * Math.PI * (i + 0.3 * (random() - 0.5)) / nu;
    const v = 2 * Math.PI * (j + 0.3 * (random() - 0.5)) / nv;
    const k = 3 * (i * nv + j);
    nodes[k] = (R + r * Math.cos(v)) * Math.cos(u);
    nodes[k + 1] = (R + r * Math.cos(v)) * Math.sin(u);
    nodes[k + 2] = r * Math.sin(v);
  }
}
const count = 2 * nu * nv;
const buffer = Buffer.alloc(84 + 50 * count);
buffer.write('torus for the report load test', 0);
buffer.writeUInt32LE(count, 80);
let offset = 84;
const node = (i, j) => 3 * ((i % nu) * nv + (j % nv));
const put = (a, b, c) => {
  offset += 12; // normal left zero: readers recompute it
  for (const n of [a, b, c]) {
    buffer.writeFloatLE(nodes[n], offset);
    buffer.writeFloatLE(nodes[n + 1], offset + 4);
    buffer.writeFloatLE(nodes[n + 2], offset + 8);
    offset += 12;
  }
  offset += 2;
};
for (let i = 0; i < nu; ++i) {
  for (let j = 0; j < nv; ++j) {
    put(node(i, j), node(i + 1, j), node(i + 1, j + 1));
    put(node(i, j), node(i + 1, j + 1), node(i, j + 1));
  }
}
fs.writeFileSync(out, buffer);
console.log('wrote ' + out + ': ' + count + ' triangles');
