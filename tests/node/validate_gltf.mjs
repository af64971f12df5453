// Validates a .gltf file and the images it names with the Khronos glTF Validator; prints the
// report's counts and every issue, and exits 1 on any error or warning.
// Usage: node validate_gltf.mjs VALIDATOR_DIR FILE.gltf
import fs from 'node:fs';
import path from 'node:path';
import {createRequire} from 'node:module';

const [validatorDir, file] = process.argv.slice(2);
const require = createRequire(path.join(path.resolve(validatorDir), 'index.js'));
const validator = require('gltf-validator');
const report = await validator.validateBytes(new Uint8Array(fs.readFileSync(file)), {
    uri: file,
    maxIssues: 0,
    externalResourceFunction: (uri) =>
        fs.promises.readFile(path.resolve(path.dirname(file), decodeURIComponent(uri))).then((d) => new Uint8Array(d)),
});
const issues = report.issues;
console.log(`errors ${issues.numErrors} warnings ${issues.numWarnings} infos ${issues.numInfos} hints ${issues.numHints}`);
for (const m of issues.messages) console.log(`${m.severity} ${m.code} ${m.pointer || ''} ${m.message}`);
process.exit(issues.numErrors + issues.numWarnings > 0 ? 1 : 0);
