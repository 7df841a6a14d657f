import { forwardRef, useMemo, useState } from 'react';
import type { ModuleType } from './api';

type Props = { catalogue: ModuleType[]; onPlace: (type: string) => void; onLeave: () => void };

// Every module the studio knows, found by typing (name or description); Enter or a drag places one.
export const Palette = forwardRef<HTMLInputElement, Props>(function Palette({ catalogue, onPlace, onLeave }, searchRef) {
  const [query, setQuery] = useState('');
  const [highlight, setHighlight] = useState(0);
  const found = useMemo(() => {
    const words = query.toLowerCase().split(/\s+/).filter(Boolean);
    const matches = catalogue.filter((m) => words.every((w) => `${m.type} ${m.description}`.toLowerCase().includes(w)));
    // Names that begin with what was typed come first.
    const first = words[0] ?? '';
    return matches.sort((a, b) => Number(!a.type.toLowerCase().startsWith(first)) - Number(!b.type.toLowerCase().startsWith(first)));
  }, [catalogue, query]);
  const current = Math.min(highlight, Math.max(found.length - 1, 0));

  return (
    <aside className="palette">
      <input
        ref={searchRef}
        type="search"
        aria-label="Search modules"
        placeholder="Search modules  ( / )"
        value={query}
        onChange={(e) => {
          setQuery(e.target.value);
          setHighlight(0);
        }}
        onKeyDown={(e) => {
          if (e.key === 'ArrowDown') setHighlight(Math.min(current + 1, found.length - 1));
          else if (e.key === 'ArrowUp') setHighlight(Math.max(current - 1, 0));
          else if (e.key === 'Enter' && found[current]) {
            onPlace(found[current].type);
            setQuery('');
            onLeave(); // the keys are the canvas's again: connect, move, or "/" for the next
          } else if (e.key === 'Escape') {
            setQuery('');
            onLeave();
          } else return;
          e.preventDefault();
        }}
      />
      <ul role="listbox" aria-label="Modules">
        {found.map((m, i) => (
          <li
            key={m.type}
            role="option"
            aria-selected={i === current}
            data-type={m.type}
            draggable
            onDragStart={(e) => {
              e.dataTransfer.setData('application/x-vento-module', m.type);
              e.dataTransfer.effectAllowed = 'copy';
            }}
            onDoubleClick={() => onPlace(m.type)}
            onMouseEnter={() => setHighlight(i)}
          >
            <div className="entry-type">{m.type}</div>
            <div className="entry-description">{m.description}</div>
            <div className="entry-pins">
              {m.pins.map((p) => (
                <span key={p.direction + p.name} className={`chip chip-${p.direction}`}>
                  {p.direction === 'in' ? '→' : ''}
                  {p.name} {p.size}
                  {p.multi ? '∗' : ''}
                  {p.direction === 'out' ? '→' : ''}
                </span>
              ))}
            </div>
          </li>
        ))}
        {found.length === 0 && <li className="none">No module matches “{query}”.</li>}
      </ul>
    </aside>
  );
});
