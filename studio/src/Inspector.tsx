import { useEffect, useRef, useState } from 'react';
import type { Control, GraphModule, ModuleType, Panel } from './api';
import { api, ApiError } from './api';

type Props = {
  module: GraphModule;
  info: ModuleType | undefined;
  revision: number;
  warnings: string[];
  onRename: (to: string) => void;
  onSet: (setting: string, value: number | string) => void;
  onError: (text: string) => void;
  // Runs a call to the studio in turn with the edits: a panel is not asked for under a name an
  // edit sent before has changed.
  inTurn: <T>(call: () => Promise<T>) => Promise<T>;
};

// A text field that sends its value on Enter or when left, and follows the studio otherwise.
function Field({ label, value, numeric, onCommit }: { label: string; value: string; numeric?: boolean; onCommit: (v: string) => void }) {
  const [text, setText] = useState(value);
  // What was sent last: leaving the field while the studio answers does not send it again.
  const sent = useRef(value);
  useEffect(() => {
    setText(value);
    sent.current = value;
  }, [value]);
  const commit = () => {
    if (text === value || text === sent.current) return;
    sent.current = text;
    onCommit(text);
  };
  return (
    <label className="field">
      <span>{label}</span>
      <input
        aria-label={label}
        inputMode={numeric ? 'decimal' : undefined}
        value={text}
        onChange={(e) => setText(e.target.value)}
        onBlur={commit}
        onKeyDown={(e) => {
          if (e.key === 'Enter') commit();
          if (e.key === 'Escape') setText(value);
        }}
      />
    </label>
  );
}

export function Inspector({ module, info, revision, warnings, onRename, onSet, onError, inTurn }: Props) {
  const mine = warnings.filter((w) => w.startsWith(`${module.name}:`) || w.includes(`'${module.name}'`));
  return (
    <aside className="inspector" aria-label="Inspector">
      <h2>
        {module.type}
        {info && (
          <a className="help" href={info.help} target="_blank" rel="noreferrer">
            help
          </a>
        )}
      </h2>
      {info && <p className="description">{info.description}</p>}
      <Field label="Name" value={module.name} onCommit={(to) => to && onRename(to)} />
      {info && info.settings.length > 0 && (
        <fieldset>
          <legend>Settings</legend>
          {info.settings.map((s) => (
            <Field
              key={s.name}
              label={s.name}
              numeric={s.type === 'number'}
              value={String(module.settings[s.name] ?? s.default)}
              onCommit={(v) => {
                if (s.type === 'text') return onSet(s.name, v);
                const n = Number(v);
                if (v.trim() === '' || Number.isNaN(n)) onError(`${module.name}: ${s.name} takes a number, not “${v}”`);
                else onSet(s.name, n);
              }}
            />
          ))}
        </fieldset>
      )}
      {mine.map((w) => (
        <p key={w} className="warning" role="alert">
          {w}
        </p>
      ))}
      {info && info.controls.length > 0 && <PanelView instance={module.name} revision={revision} onError={onError} inTurn={inTurn} />}
    </aside>
  );
}

// The module's real panel, each control at its place in the module's own dialog. Every change goes
// to the panel in the studio, and the whole panel is drawn again from its answer. A slider dragged
// faster than the studio answers sends only its newest position.
function PanelView({ instance, revision, onError, inTurn }: Pick<Props, 'revision' | 'onError' | 'inTurn'> & { instance: string }) {
  const [panel, setPanel] = useState<Panel | null>(null);
  const [answers, setAnswers] = useState(0);
  const pending = useRef<Map<number, number | string>>(new Map());
  const busy = useRef(false);
  const ownRevision = useRef(-1);

  useEffect(() => {
    // Another edit (undo, another client) may have changed the panel.
    if (revision === ownRevision.current) return;
    let live = true;
    inTurn(() => api.panel(instance)).then(
      (p) => live && setPanel(p),
      (e: ApiError) => live && onError(e.message),
    );
    return () => {
      live = false;
    };
  }, [instance, revision, onError, inTurn]);

  const send = async () => {
    if (busy.current) return;
    busy.current = true;
    try {
      while (pending.current.size) {
        const [id, value] = pending.current.entries().next().value as [number, number | string];
        pending.current.delete(id);
        try {
          const answer = await inTurn(() => api.setControl(instance, id, value));
          ownRevision.current = answer.revision;
          setPanel(answer);
          setAnswers((n) => n + 1);
        } catch (e) {
          onError((e as Error).message);
        }
      }
    } finally {
      busy.current = false;
    }
  };
  const change = (c: Control, value: number | string) => {
    pending.current.set(c.id, value);
    void send();
  };

  if (!panel) return <div className="panel loading">Opening the panel…</div>;
  // The dialog as large as its controls reach: some reach past the page size the panel tells.
  const shown = panel.controls.filter((c) => c.visible);
  const width = Math.max(panel.size.width, ...shown.map((c) => c.rect.right + 10));
  const height = Math.max(panel.size.height, ...shown.map((c) => c.rect.bottom + 10));
  return (
    <fieldset className="panel-frame">
      <legend>Panel</legend>
      <div className="panel" data-panel={instance} data-answers={answers} style={{ width, height }}>
        {shown.map((c) => (
          <PanelControl key={c.id} control={c} onChange={(v) => change(c, v)} />
        ))}
        {shown
          .filter((c) => c.label && ['trackbar', 'list', 'edit'].includes(c.kind))
          .map((c) => (
            <span key={`caption-${c.id}`} className="caption" aria-hidden style={{ left: c.rect.left, top: c.rect.top - 15 }}>
              {c.label}
            </span>
          ))}
      </div>
    </fieldset>
  );
}

function PanelControl({ control: c, onChange }: { control: Control; onChange: (value: number | string) => void }) {
  const style = { left: c.rect.left, top: c.rect.top, width: c.rect.right - c.rect.left, height: c.rect.bottom - c.rect.top };
  const common = { disabled: !c.enabled, 'data-control': c.id, title: c.label };
  switch (c.kind) {
    case 'trackbar':
      return (
        <span className="control trackbar" style={style}>
          <input
            type="range"
            aria-label={c.label}
            min={c.low}
            max={c.high}
            value={c.position}
            onChange={(e) => onChange(Number(e.target.value))}
            {...common}
          />
          <output>{c.position}</output>
        </span>
      );
    case 'list':
      return (
        <select className="control" style={style} aria-label={c.label} value={c.selected} onChange={(e) => onChange(Number(e.target.value))} {...common}>
          {(c.entries ?? []).map((entry, i) => (
            <option key={i} value={i}>
              {entry}
            </option>
          ))}
        </select>
      );
    case 'button':
      return (
        <button className="control" style={style} onClick={() => onChange(1)} {...common}>
          {c.label}
        </button>
      );
    case 'check box':
      return (
        <label className="control check" style={style}>
          <input type="checkbox" checked={!!c.checked} onChange={(e) => onChange(e.target.checked ? 1 : 0)} {...common} />
          {c.label}
        </label>
      );
    case 'edit':
      return <EditControl control={c} style={style} onChange={onChange} />;
    case 'up-down':
      return (
        <span className="control updown" style={style}>
          <button aria-label={`${c.label} up`} onClick={() => onChange(1)} {...common}>
            ▲
          </button>
          <button aria-label={`${c.label} down`} onClick={() => onChange(-1)} {...common}>
            ▼
          </button>
        </span>
      );
    case 'label':
      return (
        <span className="control label" style={style}>
          {c.label}
        </span>
      );
    default:
      return <span className="control other" style={style} title={c.label} />;
  }
}

function EditControl({ control: c, style, onChange }: { control: Control; style: React.CSSProperties; onChange: (v: string) => void }) {
  const [text, setText] = useState(c.text ?? '');
  useEffect(() => setText(c.text ?? ''), [c.text]);
  return (
    <input
      className="control"
      style={style}
      aria-label={c.label}
      disabled={!c.enabled}
      data-control={c.id}
      value={text}
      onChange={(e) => setText(e.target.value)}
      onBlur={() => text !== (c.text ?? '') && onChange(text)}
      onKeyDown={(e) => e.key === 'Enter' && text !== (c.text ?? '') && onChange(text)}
    />
  );
}
