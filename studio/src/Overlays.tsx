import { useEffect, useRef } from 'react';
import type { Connection } from './api';
import { useTypedSearch } from './useTypedSearch';

export type Notice = { id: number; text: string; kind: 'message' | 'error' | 'warning' | 'info' };

export function Notices({ notices, onDismiss }: { notices: Notice[]; onDismiss: (id: number) => void }) {
  return (
    <div className="notices" aria-live="polite">
      {notices.map((n) => (
        <div key={n.id} className={`notice notice-${n.kind}`} role={n.kind === 'error' ? 'alert' : 'status'}>
          <span>{n.text}</span>
          <button aria-label="Dismiss" onClick={() => onDismiss(n.id)}>
            ×
          </button>
        </div>
      ))}
    </div>
  );
}

export function Problems({ problems, onPick }: { problems: string[]; onPick: (instance: string) => void }) {
  if (problems.length === 0) return <footer className="problems none">No problems: the graph can run.</footer>;
  return (
    <footer className="problems" aria-label="Problems">
      <ul>
        {problems.map((p) => (
          <li key={p}>
            <button onClick={() => onPick(p.split(':')[0])}>{p}</button>
          </li>
        ))}
      </ul>
    </footer>
  );
}

export const shortcuts: [string, string][] = [
  ['/  or  Ctrl+K', 'search the palette; Enter places the module'],
  ['Alt+Arrows', 'select the nearest module that way'],
  ['C', 'connect the selected module: pick a wire, Enter makes it'],
  ['Arrows', 'move the selected modules'],
  ['F2', 'rename the selected module'],
  ['Delete', 'remove the selected modules and wires'],
  ['Ctrl+A', 'select every module'],
  ['Ctrl+C / Ctrl+V', 'copy and paste, settings and inner wires kept'],
  ['Ctrl+D', 'duplicate'],
  ['Ctrl+Z / Ctrl+Shift+Z', 'undo / redo'],
  ['Ctrl+S', 'save'],
  ['F', 'fit the graph in view'],
  ['?', 'this list'],
  ['Esc', 'close'],
];

export function ShortcutsOverlay({ onClose }: { onClose: () => void }) {
  const close = useRef<HTMLButtonElement>(null);
  useEffect(() => close.current?.focus(), []);
  return (
    <div className="overlay" role="dialog" aria-label="Shortcuts" onKeyDown={(e) => e.key === 'Escape' && onClose()}>
      <div className="sheet">
        <h2>Shortcuts</h2>
        <table>
          <tbody>
            {shortcuts.map(([keys, what]) => (
              <tr key={keys}>
                <th>
                  <kbd>{keys}</kbd>
                </th>
                <td>{what}</td>
              </tr>
            ))}
          </tbody>
        </table>
        <button ref={close} onClick={onClose}>
          Close
        </button>
      </div>
    </div>
  );
}

// The wires that may be made into or out of one module, picked by typing and Enter.
export function ConnectPicker({ name, wires, onPick, onClose }: { name: string; wires: Connection[]; onPick: (w: Connection) => void; onClose: () => void }) {
  const { found, current, field } = useTypedSearch(wires, (w) => `${w.from} ${w.to}`, { pick: onPick, leave: onClose });
  return (
    <div className="overlay" role="dialog" aria-label={`Connect ${name}`}>
      <div className="sheet">
        <h2>Connect {name}</h2>
        <input
          autoFocus
          aria-label="Find a wire"
          placeholder="type a module or pin"
          {...field}
        />
        <ul role="listbox" aria-label="Wires">
          {found.map((w, i) => (
            <li key={w.from + '>' + w.to} role="option" aria-selected={i === current} onClick={() => onPick(w)}>
              {w.from} → {w.to}
            </li>
          ))}
          {found.length === 0 && <li className="none">No wire to make.</li>}
        </ul>
      </div>
    </div>
  );
}

// A refused wire's reason, where the wire was let go.
export function Refusal({ text, x, y }: { text: string; x: number; y: number }) {
  return (
    <div className="refusal" role="alert" style={{ left: x + 12, top: y + 12 }}>
      {text}
    </div>
  );
}
