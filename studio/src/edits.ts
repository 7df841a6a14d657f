// Edits composed from what the editor shows: names, pasted copies, layouts. Each result is one
// batch of operations, so the studio applies it all or nothing and undoes it in one step.
import ELK from 'elkjs/lib/elk.bundled.js';
import type { Connection, GraphModule, ModuleType, Op } from './api';
import { endpoint } from './api';

// A name not taken yet, from `base`: "fft", then "fft2", "fft3"...
export function freeName(base: string, taken: Set<string>): string {
  const stem = base.replace(/\d+$/, '') || 'module';
  if (!taken.has(base)) return base;
  for (let n = 2; ; ++n) if (!taken.has(stem + n)) return stem + n;
}

export type Clip = { modules: GraphModule[]; connections: Connection[] };

// What a copy keeps: the modules with their settings and panel values, and the connections
// between two of them (not those leaving the selection).
export function copyOf(modules: GraphModule[], connections: Connection[], names: string[]): Clip {
  const chosen = new Set(names);
  return {
    modules: modules.filter((m) => chosen.has(m.name)),
    connections: connections.filter((c) => chosen.has(endpoint(c.from).instance) && chosen.has(endpoint(c.to).instance)),
  };
}

// The operations that place a copy, shifted by (dx, dy), under free names; and the new names.
export function pasteOps(clip: Clip, existing: GraphModule[], dx: number, dy: number): { ops: Op[]; names: string[] } {
  const taken = new Set(existing.map((m) => m.name));
  const renamed = new Map<string, string>();
  const ops: Op[] = [];
  for (const m of clip.modules) {
    const name = freeName(m.name, taken);
    taken.add(name);
    renamed.set(m.name, name);
    ops.push({ op: 'add', type: m.type, name, x: m.x + dx, y: m.y + dy });
    for (const [setting, value] of Object.entries(m.settings)) ops.push({ op: 'set', module: name, name: setting, value });
    for (const p of m.panel) {
      const value = p.position ?? p.select ?? p.click;
      if (value === undefined) continue;
      ops.push(p.label ? { op: 'control', module: name, label: p.label, value } : { op: 'control', module: name, id: p.id, value });
    }
  }
  const moved = (text: string) => {
    const e = endpoint(text);
    return `${renamed.get(e.instance)}.${e.pin}`;
  };
  for (const c of clip.connections) ops.push({ op: 'connect', from: moved(c.from), to: moved(c.to) });
  return { ops, names: [...renamed.values()] };
}

// The removal of modules and wires: wires first (those the removed modules take along are left to
// the removal), then the modules.
export function deleteOps(names: string[], wires: Connection[]): Op[] {
  const gone = new Set(names);
  const ops: Op[] = wires
    .filter((w) => !gone.has(endpoint(w.from).instance) && !gone.has(endpoint(w.to).instance))
    .map((w) => ({ op: 'disconnect', from: w.from, to: w.to }));
  for (const name of names) ops.push({ op: 'remove', name });
  return ops;
}

const elk = new ELK();

// The graph laid out left to right by ELK's layered layout; the moves that bring it there.
export async function arrangeOps(
  modules: GraphModule[],
  connections: Connection[],
  sizes: Map<string, { width: number; height: number }>,
): Promise<Op[]> {
  const laid = await elk.layout({
    id: 'graph',
    layoutOptions: {
      'elk.algorithm': 'layered',
      'elk.direction': 'RIGHT',
      'elk.spacing.nodeNode': '40',
      'elk.layered.spacing.nodeNodeBetweenLayers': '80',
    },
    children: modules.map((m) => ({ id: m.name, width: sizes.get(m.name)?.width ?? 180, height: sizes.get(m.name)?.height ?? 90 })),
    edges: connections.map((c, i) => ({ id: `e${i}`, sources: [endpoint(c.from).instance], targets: [endpoint(c.to).instance] })),
  });
  return (laid.children ?? [])
    .filter((n) => {
      const m = modules.find((x) => x.name === n.id);
      return m && (Math.round(n.x ?? 0) !== m.x || Math.round(n.y ?? 0) !== m.y);
    })
    .map((n) => ({ op: 'move', name: n.id, x: Math.round(n.x ?? 0), y: Math.round(n.y ?? 0) }));
}

// What a module's pins are, from the catalogue (an unknown type has none).
export function pinsOf(catalogue: ModuleType[], type: string) {
  const entry = catalogue.find((t) => t.type === type);
  return {
    inputs: entry?.pins.filter((p) => p.direction === 'in') ?? [],
    outputs: entry?.pins.filter((p) => p.direction === 'out') ?? [],
  };
}

// Every connection that could be made into or out of `name`, as "from" and "to" pairs.
export function candidateWires(catalogue: ModuleType[], modules: GraphModule[], connections: Connection[], name: string): Connection[] {
  const me = modules.find((m) => m.name === name);
  if (!me) return [];
  const made = new Set(connections.map((c) => `${c.from}>${c.to}`));
  const wires: Connection[] = [];
  const mine = pinsOf(catalogue, me.type);
  for (const other of modules) {
    if (other.name === name) continue;
    const theirs = pinsOf(catalogue, other.type);
    for (const out of mine.outputs) for (const input of theirs.inputs) wires.push({ from: `${name}.${out.name}`, to: `${other.name}.${input.name}` });
    for (const out of theirs.outputs) for (const input of mine.inputs) wires.push({ from: `${other.name}.${out.name}`, to: `${name}.${input.name}` });
  }
  return wires.filter((w) => !made.has(`${w.from}>${w.to}`));
}
