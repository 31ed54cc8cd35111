// The page's script linted as what it is: a classic script for the browser
// that hands its pure logic to node through `module`.
import { test } from 'node:test';
import assert from 'node:assert/strict';
import { createRequire } from 'node:module';
import { fileURLToPath } from 'node:url';
import path from 'node:path';

const tools = createRequire(path.join(process.env.KOVEX_PAGE_TOOLS, 'package.json'));
const root = path.resolve(path.dirname(fileURLToPath(import.meta.url)), '../..');

test('page.js passes ESLint\'s recommended rules', async () => {
  const { ESLint } = tools('eslint');
  const eslint = new ESLint({
    cwd: root,
    overrideConfigFile: true,
    overrideConfig: [tools('@eslint/js').configs.recommended, {
      languageOptions: {
        ecmaVersion: 2019,
        sourceType: 'script',
        globals: Object.fromEntries(['window', 'document', 'navigator', 'module',
          'URLSearchParams', 'URL', 'Blob', 'setTimeout', 'clearTimeout',
          'MessageChannel', 'performance']
          .map((name) => [name, 'readonly']))
      },
      rules: { eqeqeq: 'error', strict: ['error', 'function'], 'no-implicit-globals': 'error' }
    }]
  });
  const [result] = await eslint.lintFiles(['src/fleet_page/page.js']);
  assert.deepEqual(result.messages.map((m) => `${m.line}: ${m.ruleId}: ${m.message}`), []);
});
