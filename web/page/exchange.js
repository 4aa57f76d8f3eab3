// Files in and out of the working folder: single files as the desktop writes them (byte for
// byte) and the whole folder as a zip. What is refused is refused whole, with the reason, and
// changes nothing. The zip library (fflate's zipSync and unzipSync) is handed in, so that the
// page takes it from the site and the tests from their packages.
import {decode, encode, sameName} from './cp1252.js';
import {kLargestFile, kOfferedList, pathProblem} from './folder.js';

/// The largest zip taken, and the most its files may unpack to together.
export const kLargestZip = 32 * 1024 * 1024;
export const kLargestUnpacked = 64 * 1024 * 1024;

/// Where a single file of this name belongs, by the names the program gives its files; "" when
/// it is none of them.
export function folderFor(name) {
  const rules = [
    [/^(Records|Lessons|Practice)_.+\.txt$/i, 'Records'],
    [/^Notes_.+\.txt$/i, 'Notes'],
    [/^(Lang_.+\.txt|Tastrel\.Ini|Keymap\.txt)$/i, 'Data'],
  ];
  for (const [pattern, folder] of rules) if (pattern.test(name)) return folder;
  return '';
}

/// Checks a single file the learner chose to import: {path} where it goes, or {problem}.
export function checkImport(name, bytes) {
  const folder = folderFor(name);
  if (!folder) return {problem: `${name}: not a record, lesson, layout, history or settings file of Tastrello`};
  if (bytes.length > kLargestFile) return {problem: `${name}: larger than ${kLargestFile >> 20} MB`};
  if (bytes.includes(0)) return {problem: `${name}: not a text file (it holds NUL bytes)`};
  const path = `${folder}/${name}`;
  const problem = pathProblem(path);
  return problem ? {problem} : {path};
}

/// Imports single files ([{name, bytes}]) into the folder: all or, when one is refused,
/// none. Resolves to {imported: [paths]} or {problem}.
export async function importFiles(folder, files) {
  const checked = files.map((f) => ({...checkImport(f.name, f.bytes), bytes: f.bytes}));
  const refused = checked.find((c) => c.problem);
  if (refused) return {problem: refused.problem};
  for (const c of checked) {
    const problem = await folder.replace(c.path, c.bytes);
    if (problem) return {problem};
  }
  return {imported: checked.map((c) => c.path)};
}

/// The whole folder as zip bytes (names in UTF-8 as zip tools expect, contents unchanged).
export async function exportZip(folder, {zipSync}) {
  const entries = {};
  for (const [path, bytes] of await folder.all()) entries[path] = [bytes, {level: 6}];
  return zipSync(entries);
}

/// Imports a zip made by exportZip (or by the learner from such a folder): every file must lie
/// in Data/, Notes/ or Records/, none may be larger than a file of the folder may be; then
/// each replaces the file of its name, the others stay. {imported: [paths]} or {problem}.
export async function importZip(folder, zipBytes, {unzipSync}) {
  if (zipBytes.length > kLargestZip) return {problem: `the zip is larger than ${kLargestZip >> 20} MB`};
  let total = 0;
  let problem = '';
  let entries;
  try {
    entries = unzipSync(zipBytes, {
      filter(file) {
        if (file.name.endsWith('/')) return false;  // a folder entry
        if (file.originalSize > kLargestFile) problem = problem || `${file.name}: larger than ${kLargestFile >> 20} MB`;
        total += file.originalSize;
        if (total > kLargestUnpacked) problem = problem || `the zip unpacks to more than ${kLargestUnpacked >> 20} MB`;
        return !problem;
      },
    });
  } catch (error) {
    return {problem: `not a zip file (${error.message || error})`};
  }
  if (problem) return {problem};
  const files = [];
  for (const [name, bytes] of Object.entries(entries)) {
    const path = name.replace(/^\.\//, '');
    const why = pathProblem(path);
    if (why) return {problem: why};
    if (bytes.length > kLargestFile) return {problem: `${path}: larger than ${kLargestFile >> 20} MB`};
    files.push({path: normalisedFolder(path), bytes});
  }
  if (!files.length) return {problem: 'the zip holds no file of the working folder'};
  for (const f of files) {
    const why = await folder.replace(f.path, f.bytes);
    if (why) return {problem: why};
  }
  return {imported: files.map((f) => f.path)};
}

/// The folder's name as the program spells it ("records/x" -> "Records/x").
function normalisedFolder(path) {
  const [head, name] = path.split('/');
  return `${['Data', 'Notes', 'Records'].find((f) => sameName(f, head))}/${name}`;
}

/// The zip's name for an export: the date it was made.
export function zipName(date = new Date()) {
  const two = (n) => String(n).padStart(2, '0');
  return `Tastrello ${date.getFullYear()}-${two(date.getMonth() + 1)}-${two(date.getDate())}.zip`;
}

export {decode, encode, kOfferedList};
