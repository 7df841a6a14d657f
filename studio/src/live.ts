import { createContext } from 'react';

// What a running graph shows on its nodes: blocks per second and, for paced sources, how late
// blocks come; and each display window's newest picture.
export type NodeLive = { rate?: number; lateMs?: number };
export type Live = { stats: Record<string, NodeLive>; windows: Record<string, number> };
export const LiveContext = createContext<Live>({ stats: {}, windows: {} });
