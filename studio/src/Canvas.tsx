import { useCallback, useEffect, useMemo, useState } from 'react';
import {
  Background,
  Controls,
  MiniMap,
  ReactFlow,
  applyNodeChanges,
  useNodesInitialized,
  useReactFlow,
  type Connection as FlowConnection,
  type Edge,
  type NodeChange,
  type OnDelete,
} from '@xyflow/react';
import type { Connection, Graph, ModuleType } from './api';
import { endpoint } from './api';
import { pinsOf } from './edits';
import { ModuleNode, type ModuleFlowNode } from './ModuleNode';

const nodeTypes = { module: ModuleNode };

type Props = {
  graph: Graph;
  catalogue: ModuleType[];
  selected: string[];
  fits: number;
  onSelect: (names: string[]) => void;
  onMove: (moves: { name: string; x: number; y: number }[]) => void;
  onConnect: (wire: Connection) => void;
  onDelete: (names: string[], wires: Connection[]) => void;
  onDropType: (type: string, x: number, y: number) => void;
};

function edgeOf(c: Connection): Edge {
  const from = endpoint(c.from), to = endpoint(c.to);
  return { id: `${c.from}>${c.to}`, source: from.instance, sourceHandle: `out:${from.pin}`, target: to.instance, targetHandle: `in:${to.pin}` };
}

export function Canvas({ graph, catalogue, selected, fits, onSelect, onMove, onConnect, onDelete, onDropType }: Props) {
  const flow = useReactFlow();
  const [nodes, setNodes] = useState<ModuleFlowNode[]>([]);
  const [selectedEdges, setSelectedEdges] = useState<Set<string>>(new Set());

  // The nodes follow the studio's graph; what is only the browser's (sizes measured, a drag going
  // on) is kept across updates.
  useEffect(() => {
    const chosen = new Set(selected);
    const troubled = new Set(graph.problems.map((p) => p.split(':')[0]));
    setNodes((old) => {
      const before = new Map(old.map((n) => [n.id, n]));
      return graph.modules.map((m) => {
        const previous = before.get(m.name);
        const { inputs, outputs } = pinsOf(catalogue, m.type);
        return {
          ...previous,
          id: m.name,
          type: 'module',
          position: previous?.dragging ? previous.position : { x: m.x, y: m.y },
          data: { module: m, inputs, outputs, problem: troubled.has(m.name) },
          selected: chosen.has(m.name),
        } as ModuleFlowNode;
      });
    });
  }, [graph, catalogue, selected]);

  // A graph opened or arranged is fitted into view once its nodes have their sizes.
  const drawn = useNodesInitialized();
  const [fitted, setFitted] = useState(0);
  useEffect(() => {
    if (drawn && fitted !== fits) {
      setFitted(fits);
      void flow.fitView({ maxZoom: 1, duration: 150 });
    }
  }, [drawn, fits, fitted, flow]);

  const edges = useMemo(
    () => graph.connections.map((c) => ({ ...edgeOf(c), selected: selectedEdges.has(`${c.from}>${c.to}`) })),
    [graph.connections, selectedEdges],
  );

  const onNodesChange = useCallback(
    (changes: NodeChange<ModuleFlowNode>[]) => {
      const selections = changes.filter((c) => c.type === 'select');
      setNodes((ns) => {
        const next = applyNodeChanges(changes.filter((c) => c.type !== 'remove'), ns);
        if (selections.length) onSelect(next.filter((n) => n.selected).map((n) => n.id));
        return next;
      });
    },
    [onSelect],
  );

  const handleDelete: OnDelete = useCallback(
    ({ nodes: gone, edges: cut }) => {
      const wires = cut.map((e) => ({ from: `${e.source}.${e.sourceHandle!.slice(4)}`, to: `${e.target}.${e.targetHandle!.slice(3)}` }));
      onDelete(gone.map((n) => n.id), wires);
    },
    [onDelete],
  );

  return (
    <div
      className="canvas"
      onDragOver={(e) => {
        if (e.dataTransfer.types.includes('application/x-vento-module')) e.preventDefault();
      }}
      onDrop={(e) => {
        const type = e.dataTransfer.getData('application/x-vento-module');
        if (!type) return;
        e.preventDefault();
        const at = flow.screenToFlowPosition({ x: e.clientX, y: e.clientY });
        onDropType(type, Math.round(at.x), Math.round(at.y));
      }}
    >
      <ReactFlow<ModuleFlowNode, Edge>
        nodes={nodes}
        edges={edges}
        nodeTypes={nodeTypes}
        onNodesChange={onNodesChange}
        onEdgesChange={(changes) => {
          const picked = changes.filter((c) => c.type === 'select');
          if (!picked.length) return;
          setSelectedEdges((old) => {
            const next = new Set(old);
            for (const c of picked) if (c.type === 'select') c.selected ? next.add(c.id) : next.delete(c.id);
            return next;
          });
        }}
        onNodeDragStop={(_, __, dragged) => onMove(dragged.map((n) => ({ name: n.id, x: Math.round(n.position.x), y: Math.round(n.position.y) })))}
        onConnect={(c: FlowConnection) =>
          onConnect({ from: `${c.source}.${c.sourceHandle!.slice(4)}`, to: `${c.target}.${c.targetHandle!.slice(3)}` })
        }
        onDelete={handleDelete}
        deleteKeyCode={['Delete', 'Backspace']}
        minZoom={0.1}
        maxZoom={4}
        disableKeyboardA11y
        fitView
        fitViewOptions={{ maxZoom: 1 }}
        proOptions={{ hideAttribution: true }}
      >
        <Background gap={20} />
        <Controls />
        <MiniMap pannable zoomable nodeColor="#8d97a5" maskColor="rgba(225, 229, 235, 0.55)" />
      </ReactFlow>
    </div>
  );
}
