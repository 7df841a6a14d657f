// The studio's HTTP API (docs/studio-api.md). The page is served by the studio, which left the
// token as a cookie: every call below is same-origin and carries it.

export type Pin = { name: string; direction: 'in' | 'out'; size: number; multi: boolean };
export type SettingInfo = { name: string; type: 'number' | 'text'; default: number | string };
export type Rect = { left: number; top: number; right: number; bottom: number };
export type Control = {
  id: number;
  kind: 'trackbar' | 'list' | 'button' | 'check box' | 'edit' | 'up-down' | 'label' | 'other';
  label: string;
  rect: Rect;
  visible: boolean;
  enabled: boolean;
  low?: number;
  high?: number;
  position?: number;
  entries?: string[];
  selected?: number;
  checked?: boolean;
  text?: string;
};
export type ModuleType = {
  type: string;
  description: string;
  pins: Pin[];
  settings: SettingInfo[];
  controls: Control[];
  panelSize: { width: number; height: number };
  help: string;
};
export type PanelValue = { id?: number; label?: string; position?: number; select?: number; click?: number };
export type GraphModule = {
  name: string;
  type: string;
  x: number;
  y: number;
  settings: Record<string, number | string>;
  panel: PanelValue[];
  window?: number; // a display module's newest picture
};
export type Connection = { from: string; to: string };
export type Graph = {
  revision: number;
  file: string | null;
  dirty: boolean;
  run: { state: string; reason?: string };
  modules: GraphModule[];
  connections: Connection[];
  problems: string[];
  warnings: string[];
  canUndo: boolean;
  canRedo: boolean;
};
export type Panel = {
  instance: string;
  revision: number;
  size: { width: number; height: number };
  controls: Control[];
};
export type Op =
  | { op: 'add'; type: string; name?: string; x: number; y: number }
  | { op: 'remove'; name: string }
  | { op: 'rename'; name: string; to: string }
  | { op: 'move'; name: string; x: number; y: number }
  | { op: 'connect'; from: string; to: string }
  | { op: 'disconnect'; from: string; to: string }
  | { op: 'set'; module: string; name: string; value: number | string }
  | { op: 'control'; module: string; id?: number; label?: string; value: number | string };
export type RunRequest = { mode: 'realtime' | 'offline'; seconds?: number; blocks?: number };
export type ModuleStats = {
  name: string;
  blocks: number;
  calls: number;
  meanUs: number;
  p99Us: number;
  lateness?: { meanMs: number; p99Ms: number; maxMs: number; withinOneMs: number };
};
export type Stats = { graphSeconds: number; modules: ModuleStats[] };

// A refusal from the studio: its status and its one line.
export class ApiError extends Error {
  constructor(
    readonly status: number,
    message: string,
  ) {
    super(message);
  }
}

async function call<T>(method: 'GET' | 'POST', path: string, body?: unknown): Promise<T> {
  const response = await fetch(path, {
    method,
    headers: body === undefined ? undefined : { 'Content-Type': 'application/json' },
    body: body === undefined ? undefined : JSON.stringify(body),
    credentials: 'same-origin',
  });
  const text = await response.text();
  let data: unknown = undefined;
  try {
    data = text ? JSON.parse(text) : undefined;
  } catch {
    /* not JSON: the status says enough */
  }
  if (!response.ok) {
    const error = (data as { error?: string } | undefined)?.error ?? `${response.status} ${response.statusText}`;
    throw new ApiError(response.status, error);
  }
  return data as T;
}

const segment = encodeURIComponent;

export const api = {
  catalogue: () => call<{ modules: ModuleType[] }>('GET', '/api/catalogue').then((c) => c.modules),
  graph: () => call<Graph>('GET', '/api/graph'),
  ops: (revision: number, ops: Op[]) => call<Graph>('POST', '/api/ops', { revision, ops }),
  undo: () => call<Graph>('POST', '/api/undo'),
  redo: () => call<Graph>('POST', '/api/redo'),
  run: (request: RunRequest) => call<{ state: string }>('POST', '/api/run', request),
  stop: () => call<{ state: string; reason?: string }>('POST', '/api/stop'),
  save: (file?: string) => call<Graph>('POST', '/api/save', file ? { file } : {}),
  open: (file: string) => call<Graph>('POST', '/api/open', { file }),
  panel: (instance: string) => call<Panel>('GET', `/api/panel/${segment(instance)}`),
  setControl: (instance: string, id: number, value: number | string) =>
    call<Panel>('POST', `/api/panel/${segment(instance)}`, { id, value }),
  windowUrl: (instance: string, generation: number) => `/api/windows/${segment(instance)}.png?g=${generation}`,
};

// "inst.Pin", split at the last point as the studio does.
export function endpoint(text: string): { instance: string; pin: string } {
  const dot = text.lastIndexOf('.');
  return { instance: text.slice(0, dot), pin: text.slice(dot + 1) };
}
