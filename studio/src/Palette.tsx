import { forwardRef } from 'react';
import type { ModuleType } from './api';
import { useTypedSearch } from './useTypedSearch';

type Props = { catalogue: ModuleType[]; onPlace: (type: string) => void; onLeave: () => void };

// Every module the studio knows, found by typing (name or description); Enter or a drag places one.
export const Palette = forwardRef<HTMLInputElement, Props>(function Palette({ catalogue, onPlace, onLeave }, searchRef) {
  const leave = () => {
    setQuery('');
    onLeave(); // the keys are the canvas's again: connect, move, or "/" for the next
  };
  const { query, setQuery, found, current, setHighlight, field } = useTypedSearch(
    catalogue,
    (m) => `${m.type} ${m.description}`,
    { pick: (m) => (onPlace(m.type), leave()), leave },
    // Names that begin with what was typed come first.
    (matches, words) =>
      matches.sort((a, b) => Number(!a.type.toLowerCase().startsWith(words[0] ?? '')) - Number(!b.type.toLowerCase().startsWith(words[0] ?? ''))),
  );

  return (
    <aside className="palette">
      <input
        ref={searchRef}
        type="search"
        aria-label="Search modules"
        placeholder="Search modules  ( / )"
        {...field}
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
