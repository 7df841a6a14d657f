import { memo, useContext } from 'react';
import { Handle, Position, type Node, type NodeProps } from '@xyflow/react';
import type { GraphModule, Pin } from './api';
import { api } from './api';
import { LiveContext } from './live';

export type ModuleNodeData = { module: GraphModule; inputs: Pin[]; outputs: Pin[]; problem: boolean };
export type ModuleFlowNode = Node<ModuleNodeData, 'module'>;

function PinRow({ pin, kind }: { pin: Pin; kind: 'in' | 'out' }) {
  return (
    <div className={`pin pin-${kind}`} title={`${pin.name}: blocks of ${pin.size}${pin.multi ? ', takes many sources' : ''}`}>
      <Handle
        type={kind === 'in' ? 'target' : 'source'}
        position={kind === 'in' ? Position.Left : Position.Right}
        id={`${kind}:${pin.name}`}
        data-pin={`${kind}:${pin.name}`}
        className={pin.multi ? 'multi' : undefined}
      />
      <span className="pin-name">{pin.name}</span>
      <span className="pin-size">
        {pin.size}
        {pin.multi ? ' ∗' : ''}
      </span>
    </div>
  );
}

function ModuleNodeView({ data, selected }: NodeProps<ModuleFlowNode>) {
  const { module, inputs, outputs, problem } = data;
  const live = useContext(LiveContext);
  const stats = live.stats[module.name];
  const generation = live.windows[module.name];
  return (
    <div className={`module${selected ? ' selected' : ''}${problem ? ' problem' : ''}`} data-instance={module.name}>
      <header>
        <span className="name">{module.name}</span>
        <span className="type">{module.type}</span>
      </header>
      <div className="pins">
        <div className="inputs">{inputs.map((p) => <PinRow key={p.name} pin={p} kind="in" />)}</div>
        <div className="outputs">{outputs.map((p) => <PinRow key={p.name} pin={p} kind="out" />)}</div>
      </div>
      {stats && (
        <div className="live-stats" data-stats={module.name}>
          {stats.rate !== undefined && <span>{stats.rate.toFixed(1)} blocks/s</span>}
          {stats.lateMs !== undefined && <span> · late {stats.lateMs.toFixed(2)} ms</span>}
        </div>
      )}
      {generation !== undefined && (
        <img className="window nodrag" data-window={module.name} alt={`${module.name}'s window`} src={api.windowUrl(module.name, generation)} />
      )}
    </div>
  );
}

export const ModuleNode = memo(ModuleNodeView);
