import { useEffect, useState } from 'react';
import type { Graph, RunRequest } from './api';

type Props = {
  graph: Graph;
  onRun: (request: RunRequest) => void;
  onStop: () => void;
  onSave: (file?: string) => void;
  onOpen: (file: string) => void;
  onUndo: () => void;
  onRedo: () => void;
  onArrange: () => void;
  onHelp: () => void;
};

// Why Run cannot be pressed now; nothing when it can.
function runBlocked(graph: Graph): string | null {
  if (graph.run.state === 'running') return 'The graph is running: Stop it first.';
  if (graph.modules.length === 0) return 'The graph is empty: place modules from the palette.';
  return null;
}

export function Toolbar({ graph, onRun, onStop, onSave, onOpen, onUndo, onRedo, onArrange, onHelp }: Props) {
  const [file, setFile] = useState(graph.file ?? '');
  const [amount, setAmount] = useState('2');
  const [unit, setUnit] = useState<'seconds' | 'blocks'>('seconds');
  useEffect(() => setFile(graph.file ?? ''), [graph.file]);
  const blocked = runBlocked(graph);
  const running = graph.run.state === 'running';
  const offline = (): RunRequest => {
    const n = Number(amount);
    return unit === 'seconds' ? { mode: 'offline', seconds: n > 0 ? n : 2 } : { mode: 'offline', blocks: Math.max(1, Math.round(n) || 100) };
  };

  return (
    <header className="toolbar">
      <span className="title">
        vento studio{graph.dirty && <span className="dirty" title="Unsaved changes"> ●</span>}
      </span>
      <input
        className="file"
        aria-label="Graph file"
        placeholder="graph file (.xml)"
        value={file}
        onChange={(e) => setFile(e.target.value)}
        onKeyDown={(e) => e.key === 'Enter' && file && onOpen(file)}
      />
      <button onClick={() => file && onOpen(file)} disabled={!file} title="Open the graph file named on the left">
        Open
      </button>
      <button onClick={() => onSave(file && file !== graph.file ? file : undefined)} title="Save (Ctrl+S)">
        Save
      </button>
      <span className="separator" />
      <button onClick={onUndo} disabled={!graph.canUndo} title="Undo (Ctrl+Z)">
        Undo
      </button>
      <button onClick={onRedo} disabled={!graph.canRedo} title="Redo (Ctrl+Shift+Z)">
        Redo
      </button>
      <button onClick={onArrange} disabled={graph.modules.length === 0} title="Lay the graph out left to right">
        Arrange
      </button>
      <span className="separator" />
      {/* Real time until Stop: a request without a length would run 100 blocks. */}
      <button onClick={() => onRun({ mode: 'realtime', seconds: 24 * 3600 })} disabled={!!blocked} title={blocked ?? 'Run in real time until Stop'}>
        Run
      </button>
      <button onClick={() => onRun(offline())} disabled={!!blocked} title={blocked ?? 'Run as fast as the computer allows'}>
        Run offline
      </button>
      <input className="amount" aria-label="Offline length" value={amount} onChange={(e) => setAmount(e.target.value)} size={4} />
      <select aria-label="Offline unit" value={unit} onChange={(e) => setUnit(e.target.value as 'seconds' | 'blocks')}>
        <option value="seconds">seconds</option>
        <option value="blocks">blocks</option>
      </select>
      <button onClick={onStop} disabled={!running} title={running ? 'Stop the run' : 'Nothing runs'}>
        Stop
      </button>
      <span className="run-state" role="status" aria-label="Run state">
        {graph.run.state}
        {graph.run.reason ? `: ${graph.run.reason}` : ''}
        {blocked && !running ? ` — ${blocked}` : ''}
        {!blocked && graph.problems.length > 0 ? ` — ${graph.problems.length} problem${graph.problems.length > 1 ? 's' : ''} below` : ''}
      </span>
      <button className="help-button" onClick={onHelp} title="Shortcuts (?)" aria-label="Shortcuts">
        ?
      </button>
    </header>
  );
}
