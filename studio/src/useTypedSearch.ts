import { useMemo, useState, type KeyboardEvent } from 'react';

// A list found by typing words (each must appear in an entry's text), walked with the arrow keys;
// Enter picks the highlighted entry, Escape leaves. Typing starts again at the top.
export function useTypedSearch<T>(
  entries: T[],
  text: (entry: T) => string,
  on: { pick: (entry: T) => void; leave: () => void },
  order?: (found: T[], words: string[]) => T[],
) {
  const [query, setQuery] = useState('');
  const [highlight, setHighlight] = useState(0);
  const found = useMemo(() => {
    const words = query.toLowerCase().split(/\s+/).filter(Boolean);
    const matches = entries.filter((e) => words.every((w) => text(e).toLowerCase().includes(w)));
    return order ? order(matches, words) : matches;
    // `text` and `order` are fixed by each caller.
  }, [entries, query]);
  const current = Math.min(highlight, Math.max(found.length - 1, 0));
  const field = {
    value: query,
    onChange: (e: { target: { value: string } }) => {
      setQuery(e.target.value);
      setHighlight(0);
    },
    onKeyDown: (e: KeyboardEvent) => {
      if (e.key === 'ArrowDown') setHighlight(Math.min(current + 1, found.length - 1));
      else if (e.key === 'ArrowUp') setHighlight(Math.max(current - 1, 0));
      else if (e.key === 'Enter' && found[current]) on.pick(found[current]);
      else if (e.key === 'Escape') on.leave();
      else return;
      e.preventDefault();
    },
  };
  return { query, setQuery, found, current, setHighlight, field };
}
