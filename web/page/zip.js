// A zip archive of the page's results, made in the page: each file
// deflated where the browser can (CompressionStream), else stored.

const CRC_TABLE = (() => {
  const table = new Uint32Array(256);
  for (let n = 0; n < 256; n++) {
    let c = n;
    for (let k = 0; k < 8; k++) c = c & 1 ? 0xedb88320 ^ (c >>> 1) : c >>> 1;
    table[n] = c >>> 0;
  }
  return table;
})();

export function crc32(bytes) {
  let c = 0xffffffff;
  for (let i = 0; i < bytes.length; i++) c = CRC_TABLE[(c ^ bytes[i]) & 0xff] ^ (c >>> 8);
  return (c ^ 0xffffffff) >>> 0;
}

async function deflateRaw(bytes) {
  if (typeof CompressionStream === 'undefined') return null;
  try {
    const stream = new Blob([bytes]).stream().pipeThrough(new CompressionStream('deflate-raw'));
    return new Uint8Array(await new Response(stream).arrayBuffer());
  } catch {
    return null;  // a browser without deflate-raw stores the file
  }
}

// files: [{ path, bytes }] (later files of the same path replace earlier
// ones, as a later save replaces the file). Gives the archive's bytes.
export async function makeZip(files) {
  const latest = new Map();
  for (const f of files) latest.set(f.path, f.bytes);
  const encoder = new TextEncoder();
  const local = [];
  const central = [];
  let offset = 0;
  for (const [path, bytes] of latest) {
    const name = encoder.encode(path);
    const crc = crc32(bytes);
    const deflated = await deflateRaw(bytes);
    const useDeflate = deflated !== null && deflated.length < bytes.length;
    const data = useDeflate ? deflated : bytes;
    const header = new DataView(new ArrayBuffer(30));
    header.setUint32(0, 0x04034b50, true);
    header.setUint16(4, 20, true);  // version needed: 2.0
    header.setUint16(6, 0x0800, true);  // names in UTF-8
    header.setUint16(8, useDeflate ? 8 : 0, true);
    header.setUint16(10, 0, true);  // time 00:00
    header.setUint16(12, 0x21, true);  // 1980-01-01: the archive depends on the files alone
    header.setUint32(14, crc, true);
    header.setUint32(18, data.length, true);
    header.setUint32(22, bytes.length, true);
    header.setUint16(26, name.length, true);
    header.setUint16(28, 0, true);
    local.push(new Uint8Array(header.buffer), name, data);

    const entry = new DataView(new ArrayBuffer(46));
    entry.setUint32(0, 0x02014b50, true);
    entry.setUint16(4, 20, true);
    entry.setUint16(6, 20, true);
    entry.setUint16(8, 0x0800, true);
    entry.setUint16(10, useDeflate ? 8 : 0, true);
    entry.setUint16(12, 0, true);
    entry.setUint16(14, 0x21, true);
    entry.setUint32(16, crc, true);
    entry.setUint32(20, data.length, true);
    entry.setUint32(24, bytes.length, true);
    entry.setUint16(28, name.length, true);
    entry.setUint32(42, offset, true);
    central.push(new Uint8Array(entry.buffer), name);
    offset += 30 + name.length + data.length;
  }
  const centralSize = central.reduce((n, part) => n + part.length, 0);
  const end = new DataView(new ArrayBuffer(22));
  end.setUint32(0, 0x06054b50, true);
  end.setUint16(8, latest.size, true);
  end.setUint16(10, latest.size, true);
  end.setUint32(12, centralSize, true);
  end.setUint32(16, offset, true);
  const parts = [...local, ...central, new Uint8Array(end.buffer)];
  const out = new Uint8Array(parts.reduce((n, part) => n + part.length, 0));
  let at = 0;
  for (const part of parts) {
    out.set(part, at);
    at += part.length;
  }
  return out;
}
