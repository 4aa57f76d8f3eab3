// Files in and out of the working folder: single files as the desktop writes them (byte for
// byte) and the whole folder as a zip. What is refused is refused whole, with the reason, and
// changes nothing. The zip library (fflate's zipSync and unzipSync) is handed in, so that the
// page takes it from the site and the tests from their packages.
import {decode, encode, sameName} from './cp1252.js';
import {kLargestFile, kOfferedList, pathProblem, why} from './folder.js';

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

const megabytes = (bytes) => String(bytes >> 20);

/// Checks a single file the learner chose to import: {path} where it goes, or {problem} (a
/// reason, see folder.js's `why`).
export function checkImport(name, bytes) {
  const folder = folderFor(name);
  if (!folder) return {problem: why('WebWhyNotOwnFile', name)};
  if (bytes.length > kLargestFile) return {problem: why('WhyZipTooLarge', name, megabytes(kLargestFile))};
  if (bytes.includes(0)) return {problem: why('WebWhyNotText', name)};
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

/// Imports a zip made by exportZip (or by the learner from such a folder), `name` the zip's
/// own: every file must lie in Data/, Notes/ or Records/, none may be larger than a file of the
/// folder may be; then each replaces the file of its name, the others stay. {imported: [paths]}
/// or {problem}.
export async function importZip(folder, zipBytes, {unzipSync}, name) {
  if (zipBytes.length > kLargestZip) return {problem: why('WhyZipTooLarge', name, megabytes(kLargestZip))};
  let total = 0;
  let problem = '';
  let entries;
  try {
    entries = unzipSync(zipBytes, {
      filter(file) {
        if (file.name.endsWith('/')) return false;  // a folder entry
        if (file.originalSize > kLargestFile) problem = problem || why('WhyZipTooLarge', file.name, megabytes(kLargestFile));
        total += file.originalSize;
        if (total > kLargestUnpacked) problem = problem || why('WebWhyZipUnpacks', name, megabytes(kLargestUnpacked));
        return !problem;
      },
    });
  } catch (error) {
    return {problem: why('WebWhyNotZip', name, String(error.message || error))};
  }
  if (problem) return {problem};
  const files = [];
  for (const [member, bytes] of Object.entries(entries)) {
    const path = member.replace(/^\.\//, '');
    const refused = pathProblem(path);
    if (refused) return {problem: refused};
    if (bytes.length > kLargestFile) return {problem: why('WhyZipTooLarge', path, megabytes(kLargestFile))};
    files.push({path: normalisedFolder(path), bytes});
  }
  if (!files.length) return {problem: why('WebWhyZipEmpty', name)};
  for (const f of files) {
    const refused = await folder.replace(f.path, f.bytes);
    if (refused) return {problem: refused};
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
