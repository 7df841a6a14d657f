import { useEffect, useRef } from 'react';
import type { Stats } from './api';

export type EventHandlers = {
  graph?: (data: { revision: number }) => void;
  run?: (data: { state: string; reason?: string }) => void;
  stats?: (data: Stats) => void;
  message?: (data: { instance: string; text: string }) => void;
  window?: (data: { instance: string; generation: number }) => void;
};

// The studio's event stream, for as long as the component lives. The handlers may change on
// every render; the stream is opened once.
export function useEvents(handlers: EventHandlers) {
  const current = useRef(handlers);
  current.current = handlers;
  useEffect(() => {
    const source = new EventSource('/api/events');
    const names = ['graph', 'run', 'stats', 'message', 'window'] as const;
    for (const name of names)
      source.addEventListener(name, (event) => {
        const handler = current.current[name] as ((data: unknown) => void) | undefined;
        if (handler) handler(JSON.parse((event as MessageEvent).data));
      });
    return () => source.close();
  }, []);
}
