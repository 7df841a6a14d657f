import { defineConfig } from 'vite';
import react from '@vitejs/plugin-react';

// The build's output folder is given by the build (`--outDir`); the studio serves it at "/".
export default defineConfig({
  plugins: [react()],
  base: '/',
  build: { emptyOutDir: true, chunkSizeWarningLimit: 4096 },
});
