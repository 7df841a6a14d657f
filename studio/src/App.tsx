import { useCallback, useEffect, useMemo, useRef, useState } from 'react';
import { useReactFlow } from '@xyflow/react';
import type { Connection, Graph, ModuleType, Op, RunRequest } from './api';
import { api, ApiError } from './api';
import { Canvas } from './Canvas';
import { arrangeOps, candidateWires, copyOf, deleteOps, pasteOps, type Clip } from './edits';
import { Inspector } from './Inspector';
import { LiveContext, type NodeLive } from './live';
import { ConnectPicker, Notices, Problems, Refusal, ShortcutsOverlay, type Notice } from './Overlays';
import { Palette } from './Palette';
import { Toolbar } from './Toolbar';
import { useEvents } from './useEvents';

let noticeId = 0;

function typing(target: EventTarget | null): boolean {
  const t = target as HTMLElement | null;
  return !!t && (t.tagName === 'INPUT' || t.tagName === 'TEXTAREA' || t.tagName === 'SELECT' || t.isContentEditable);
}

export function App() {
  const flow = useReactFlow();
  const [catalogue, setCatalogue] = useState<ModuleType[]>([]);
  const [graph, setGraph] = useState<Graph | null>(null);
  const graphRef = useRef<Graph | null>(null);
  const [selected, setSelected] = useState<string[]>([]);
  const [notices, setNotices] = useState<Notice[]>([]);
  const [stats, setStats] = useState<Record<string, NodeLive>>({});
  const [windows, setWindows] = useState<Record<string, number>>({});
  const [refusal, setRefusal] = useState<{ text: string; x: number; y: number } | null>(null);
  const [overlay, setOverlay] = useState<'shortcuts' | 'connect' | null>(null);
  const [fits, setFits] = useState(0); // asks the canvas to fit the graph once its nodes are drawn
  const search = useRef<HTMLInputElement>(null);
  const pointer = useRef({ x: 0, y: 0 });
  const clipboard = useRef<Clip | null>(null);
  const lastBlocks = useRef<Map<string, { blocks: number; at: number }>>(new Map());

  const notify = useCallback((text: string, kind: Notice['kind'] = 'error') => {
    const id = ++noticeId;
    setNotices((n) => [...n.slice(-4), { id, text, kind }]);
    if (kind !== 'message') setTimeout(() => setNotices((n) => n.filter((x) => x.id !== id)), 8000);
  }, []);

  // The studio's graph is the truth; an older answer arriving late does not replace a newer one.
  const accept = useCallback((g: Graph) => {
    if (graphRef.current && g.revision < graphRef.current.revision) return;
    graphRef.current = g;
    setGraph(g);
    setWindows((w) => {
      const shown: Record<string, number> = {};
      for (const m of g.modules) if (m.window !== undefined) shown[m.name] = Math.max(m.window, w[m.name] ?? 0);
      return shown;
    });
    setSelected((s) => s.filter((name) => g.modules.some((m) => m.name === name)));
  }, []);
  const refetch = useCallback(() => api.graph().then(accept), [accept]);

  useEffect(() => {
    api.catalogue().then(setCatalogue, (e: Error) => notify(`The catalogue cannot be read: ${e.message}`));
    refetch().catch((e: Error) => notify(`The graph cannot be read: ${e.message}`));
  }, [notify, refetch]);

  // Edits go to the studio one after the other, each against the revision the one before left:
  // a quick second edit does not race the first one's answer.
  const queue = useRef<Promise<unknown>>(Promise.resolve());
  const inTurn = useCallback(<T,>(step: () => Promise<T>): Promise<T> => {
    const turn = queue.current.then(step, step);
    queue.current = turn.catch(() => undefined);
    return turn;
  }, []);

  // One batch of operations; the refusal's line comes back to the caller, which says it where it
  // belongs (or as a notice).
  const edit = useCallback(
    (ops: Op[], say = true): Promise<Graph | string> => inTurn(async () => {
      if (!ops.length || !graphRef.current) return graphRef.current ?? '';
      try {
        const g = await api.ops(graphRef.current.revision, ops);
        accept(g);
        for (const w of g.warnings ?? []) notify(w, 'warning');
        return g;
      } catch (e) {
        const error = e as ApiError;
        if (error.status === 409) {
          await refetch();
          if (say) notify(`The graph changed meanwhile (${error.message}); look again and repeat the edit.`);
        } else if (say) notify(error.message);
        return error.message;
      }
    }),
    [accept, inTurn, notify, refetch],
  );
  const history = useCallback(
    (step: () => Promise<Graph>) => inTurn(() => step().then(accept, (e: Error) => notify(e.message))),
    [accept, inTurn, notify],
  );

  useEvents({
    graph: (d) => {
      if (!graphRef.current || d.revision !== graphRef.current.revision) void refetch();
    },
    run: (d) => {
      if (graphRef.current) accept({ ...graphRef.current, run: d });
      if (d.state !== 'running') {
        lastBlocks.current.clear();
        setStats({}); // rates of a run that ended would mislead
        void refetch();
      }
    },
    stats: (d) => {
      const now = performance.now();
      const next: Record<string, NodeLive> = {};
      for (const m of d.modules) {
        const before = lastBlocks.current.get(m.name);
        const seconds = before ? (now - before.at) / 1000 : 0;
        next[m.name] = {
          rate: before && seconds > 0 ? (m.blocks - before.blocks) / seconds : undefined,
          lateMs: m.lateness?.p99Ms,
        };
        lastBlocks.current.set(m.name, { blocks: m.blocks, at: now });
      }
      setStats(next);
    },
    message: (d) => notify(`${d.instance}: ${d.text}`, 'message'),
    window: (d) => setWindows((w) => (w[d.instance] === d.generation ? w : { ...w, [d.instance]: d.generation })),
  });

  useEffect(() => {
    const track = (e: PointerEvent) => (pointer.current = { x: e.clientX, y: e.clientY });
    window.addEventListener('pointermove', track, true);
    window.addEventListener('pointerup', track, true);
    return () => {
      window.removeEventListener('pointermove', track, true);
      window.removeEventListener('pointerup', track, true);
    };
  }, []);
  useEffect(() => {
    const warn = (e: BeforeUnloadEvent) => {
      if (graphRef.current?.dirty) {
        e.preventDefault();
        e.returnValue = '';
      }
    };
    window.addEventListener('beforeunload', warn);
    return () => window.removeEventListener('beforeunload', warn);
  }, []);
  useEffect(() => {
    document.title = `${graph?.dirty ? '● ' : ''}${graph?.file ? graph.file.split(/[\\/]/).pop() : 'untitled'} — vento studio`;
  }, [graph?.dirty, graph?.file]);

  const select = useCallback((names: string[]) => setSelected((old) => (old.join('\n') === names.join('\n') ? old : names)), []);
  const focusModule = useCallback(
    (name: string) => {
      const m = graphRef.current?.modules.find((x) => x.name === name);
      if (!m) return;
      setSelected([name]);
      const node = flow.getNode(name);
      void flow.setCenter(m.x + (node?.measured?.width ?? 180) / 2, m.y + (node?.measured?.height ?? 90) / 2, { zoom: flow.getZoom(), duration: 200 });
    },
    [flow],
  );

  // A new module: beside the one selected, else in the middle of the view.
  const place = useCallback(
    async (type: string, at?: { x: number; y: number }) => {
      const g = graphRef.current;
      if (!g) return;
      let x: number, y: number;
      const beside = selected.length === 1 ? g.modules.find((m) => m.name === selected[0]) : undefined;
      if (at) ({ x, y } = at);
      else if (beside) ({ x, y } = { x: beside.x + 260, y: beside.y });
      else {
        const box = document.querySelector('.canvas')?.getBoundingClientRect();
        const middle = flow.screenToFlowPosition({ x: (box?.left ?? 0) + (box?.width ?? 800) / 2, y: (box?.top ?? 0) + (box?.height ?? 600) / 2 });
        ({ x, y } = { x: Math.round(middle.x - 90 + 20 * (g.modules.length % 5)), y: Math.round(middle.y - 45 + 20 * (g.modules.length % 5)) });
      }
      const answer = await edit([{ op: 'add', type, x, y }]);
      if (typeof answer !== 'string') {
        const added = answer.modules.find((m) => !g.modules.some((old) => old.name === m.name));
        if (added) focusModule(added.name); // selected, and in view
      }
    },
    [edit, flow, focusModule, selected],
  );

  // `at`: where to say a refusal; where the pointer let go of the wire, when not given.
  const connect = useCallback(
    async (wire: Connection, at = { ...pointer.current }) => {
      const answer = await edit([{ op: 'connect', from: wire.from, to: wire.to }], false);
      if (typeof answer === 'string') {
        setRefusal({ text: answer, ...at });
        setTimeout(() => setRefusal((r) => (r?.text === answer ? null : r)), 6000);
      } else setRefusal(null);
    },
    [edit],
  );

  const copy = useCallback(() => {
    const g = graphRef.current;
    if (g && selected.length) clipboard.current = copyOf(g.modules, g.connections, selected);
  }, [selected]);
  const paste = useCallback(async () => {
    const g = graphRef.current;
    if (!g || !clipboard.current) return;
    const { ops, names } = pasteOps(clipboard.current, g.modules, 40, 40);
    const answer = await edit(ops);
    if (typeof answer !== 'string') {
      setSelected(names);
      clipboard.current = { ...clipboard.current, modules: clipboard.current.modules.map((m) => ({ ...m, x: m.x + 40, y: m.y + 40 })) };
    }
  }, [edit]);

  const arrange = useCallback(async () => {
    const g = graphRef.current;
    if (!g) return;
    const sizes = new Map(flow.getNodes().map((n) => [n.id, { width: n.measured?.width ?? 180, height: n.measured?.height ?? 90 }]));
    const answer = await edit(await arrangeOps(g.modules, g.connections, sizes));
    if (typeof answer !== 'string') setFits((n) => n + 1);
  }, [edit, flow]);

  const save = useCallback(
    (file?: string) =>
      api.save(file).then(
        (g) => {
          accept(g);
          notify(`Saved ${g.file}`, 'info');
        },
        (e: Error) => notify(e.message),
      ),
    [accept, notify],
  );
  const open = useCallback(
    (file: string) =>
      api.open(file).then(
        (g) => {
          setWindows({}); // the windows of another graph, counted anew
          accept(g);
          setSelected([]);
          setStats({});
          setFits((n) => n + 1);
        },
        (e: Error) => notify(e.message),
      ),
    [accept, flow, notify],
  );
  const run = useCallback(
    (request: RunRequest) => api.run(request).then(() => refetch(), (e: Error) => notify(e.message)),
    [notify, refetch],
  );
  const stop = useCallback(() => api.stop().then(() => refetch(), (e: Error) => notify(e.message)), [notify, refetch]);

  // The nearest module from the selected one in a direction, for moving about by keyboard.
  const neighbour = useCallback(
    (dx: number, dy: number) => {
      const g = graphRef.current;
      if (!g || !g.modules.length) return;
      const from = g.modules.find((m) => m.name === selected[0]);
      if (!from) return focusModule(g.modules[0].name);
      let best: string | null = null,
        bestScore = Infinity;
      for (const m of g.modules) {
        const vx = m.x - from.x, vy = m.y - from.y;
        const along = vx * dx + vy * dy;
        if (m === from || along <= 0) continue;
        const across = Math.abs(vx * dy - vy * dx);
        const score = along + 2 * across;
        if (score < bestScore) [best, bestScore] = [m.name, score];
      }
      if (best) focusModule(best);
    },
    [focusModule, selected],
  );

  useEffect(() => {
    const keys = (e: KeyboardEvent) => {
      const ctrl = e.ctrlKey || e.metaKey;
      const key = e.key.toLowerCase();
      if (ctrl && key === 's') {
        e.preventDefault();
        void save();
        return;
      }
      if (overlay || typing(e.target)) return;
      const g = graphRef.current;
      let handled = true;
      if (e.key === '/' || (ctrl && key === 'k')) search.current?.focus();
      else if (e.key === '?') setOverlay('shortcuts');
      else if (ctrl && key === 'z') void history(e.shiftKey ? api.redo : api.undo);
      else if (ctrl && key === 'y') void history(api.redo);
      else if (ctrl && key === 'c') copy();
      else if (ctrl && key === 'v') void paste();
      else if (ctrl && key === 'd') {
        copy();
        void paste();
      } else if (ctrl && key === 'a') setSelected(g?.modules.map((m) => m.name) ?? []);
      else if (e.altKey && e.key.startsWith('Arrow')) {
        const [dx, dy] = { ArrowLeft: [-1, 0], ArrowRight: [1, 0], ArrowUp: [0, -1], ArrowDown: [0, 1] }[e.key] ?? [0, 0];
        neighbour(dx, dy);
      } else if (!ctrl && !e.altKey && e.key.startsWith('Arrow') && selected.length && g) {
        const step = e.shiftKey ? 100 : 20;
        const [dx, dy] = { ArrowLeft: [-step, 0], ArrowRight: [step, 0], ArrowUp: [0, -step], ArrowDown: [0, step] }[e.key] ?? [0, 0];
        void edit(g.modules.filter((m) => selected.includes(m.name)).map((m) => ({ op: 'move', name: m.name, x: m.x + dx, y: m.y + dy })));
      } else if (!ctrl && key === 'c' && selected.length === 1) setOverlay('connect');
      else if (e.key === 'F2') (document.querySelector('.inspector input[aria-label="Name"]') as HTMLInputElement | null)?.select();
      else if (!ctrl && key === 'f') void flow.fitView({ duration: 200 });
      else if (e.key === 'Escape') setSelected([]);
      else handled = false;
      if (handled) e.preventDefault();
    };
    window.addEventListener('keydown', keys);
    return () => window.removeEventListener('keydown', keys);
  }, [copy, edit, flow, history, neighbour, overlay, paste, save, selected]);

  const live = useMemo(() => ({ stats, windows }), [stats, windows]);
  if (!graph) return <div className="loading">Connecting to the studio…</div>;
  const one = selected.length === 1 ? graph.modules.find((m) => m.name === selected[0]) : undefined;

  return (
    <LiveContext.Provider value={live}>
      <div className="studio">
        <Toolbar
          graph={graph}
          onRun={run}
          onStop={stop}
          onSave={save}
          onOpen={open}
          onUndo={() => void history(api.undo)}
          onRedo={() => void history(api.redo)}
          onArrange={arrange}
          onHelp={() => setOverlay('shortcuts')}
        />
        <Palette ref={search} catalogue={catalogue} onPlace={(t) => void place(t)} onLeave={() => search.current?.blur()} />
        <main className="board">
          <Canvas
            graph={graph}
            catalogue={catalogue}
            selected={selected}
            fits={fits}
            onSelect={select}
            onMove={(moves) => void edit(moves.map((m) => ({ op: 'move', ...m })))}
            onConnect={(w) => void connect(w)}
            onDelete={(names, wires) => void edit(deleteOps(names, wires))}
            onDropType={(type, x, y) => void place(type, { x, y })}
          />
          <Problems problems={graph.problems} onPick={focusModule} />
        </main>
        {one ? (
          <Inspector
            key={one.name}
            module={one}
            info={catalogue.find((t) => t.type === one.type)}
            revision={graph.revision}
            warnings={graph.warnings ?? []}
            onRename={(to) => void edit([{ op: 'rename', name: one.name, to }]).then((g) => typeof g !== 'string' && setSelected([to]))}
            onSet={(name, value) => void edit([{ op: 'set', module: one.name, name, value }])}
            onError={notify}
            inTurn={inTurn}
          />
        ) : (
          <aside className="inspector empty" aria-label="Inspector">
            {selected.length > 1 ? `${selected.length} modules selected` : 'Select a module to see its settings and panel.'}
          </aside>
        )}
        <Notices notices={notices} onDismiss={(id) => setNotices((n) => n.filter((x) => x.id !== id))} />
        {refusal && <Refusal {...refusal} />}
        {overlay === 'shortcuts' && <ShortcutsOverlay onClose={() => setOverlay(null)} />}
        {overlay === 'connect' && one && (
          <ConnectPicker
            name={one.name}
            wires={candidateWires(catalogue, graph.modules, graph.connections, one.name)}
            onClose={() => setOverlay(null)}
            onPick={(w) => {
              setOverlay(null);
              const box = document.querySelector(`[data-instance="${CSS.escape(one.name)}"]`)?.getBoundingClientRect();
              void connect(w, box ? { x: box.right, y: box.top } : undefined);
            }}
          />
        )}
      </div>
    </LiveContext.Provider>
  );
}
