// Parses PowerShell scripts with the tree-sitter PowerShell grammar and
// fails on any syntax error:
//
//   node parse-powershell.mjs <node_modules folder> <script.ps1>...
//
// Prints one line per script: "ok <path>" or "SYNTAX ERROR <path>:<line>:<column>"
// for each error or missing token, and exits 1 when any script has one (2 on
// bad usage or an unreadable file).
import { readFileSync } from 'node:fs';
import { createRequire } from 'node:module';
import { join, resolve } from 'node:path';
import { pathToFileURL } from 'node:url';

const [modules, ...scripts] = process.argv.slice(2);
if (!modules || scripts.length === 0) {
  console.error('usage: node parse-powershell.mjs <node_modules folder> <script.ps1>...');
  process.exit(2);
}
const require = createRequire(join(resolve(modules), 'loader.cjs'));
const Parser = require('tree-sitter');
const grammar = await import(pathToFileURL(require.resolve('tree-sitter-powershell')).href);
const parser = new Parser();
parser.setLanguage(grammar.default);

// The nodes that make a tree wrong: ERROR nodes and tokens the parser had to
// invent (MISSING).
function problems(node, found) {
  if (node.type === 'ERROR' || node.isMissing) {
    found.push(node);
    return found;
  }
  if (node.hasError) {
    for (const child of node.children) problems(child, found);
  }
  return found;
}

let failed = false;
for (const script of scripts) {
  let text;
  try {
    text = readFileSync(script, 'utf8');
  } catch (error) {
    console.error(`cannot read ${script}: ${error.message}`);
    process.exit(2);
  }
  // The parser takes text of any length only through a callback.
  const tree = parser.parse((index) => text.slice(index, index + 4096));
  const found = tree.rootNode.hasError ? problems(tree.rootNode, []) : [];
  if (tree.rootNode.hasError && found.length === 0) found.push(tree.rootNode);
  if (found.length === 0) {
    console.log(`ok ${script}`);
    continue;
  }
  failed = true;
  for (const node of found) {
    const { row, column } = node.startPosition;
    const what = node.isMissing ? `missing ${node.type}` : 'unexpected text';
    console.log(`SYNTAX ERROR ${script}:${row + 1}:${column + 1}: ${what}`);
  }
}
process.exit(failed ? 1 : 0);
