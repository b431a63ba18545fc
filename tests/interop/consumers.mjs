#!/usr/bin/env node
// The consumer tier: packages every example and corpus export with the ebookpack
// CLI and hands each package to readers and validators that other people wrote.
// Prints one line per (package, consumer) and a summary; exits 1 if any failed.
//
//   node consumers.mjs EBOOKPACK SOURCE_DIR CORPUS_DIR [PACKAGE_REGEX]
//
// Needs what scripts/setup.sh installs: the Debian packages and, in this
// folder, the pinned npm packages (npm ci --ignore-scripts).
import { spawnSync } from "node:child_process";
import fs from "node:fs";
import os from "node:os";
import path from "node:path";
import { fileURLToPath } from "node:url";

const [cli, sourceDir, corpusDir, only] = process.argv.slice(2);
if (!cli || !sourceDir || !corpusDir) {
    console.error("usage: consumers.mjs EBOOKPACK SOURCE_DIR CORPUS_DIR [PACKAGE_REGEX]");
    process.exit(2);
}
const here = path.dirname(fileURLToPath(import.meta.url));
const modules = path.join(here, "node_modules");

// What each consumer must say for a row to pass. This is the tier's one table
// of expected results; docs/compatibility.md explains each row.
const expected = {
    // EPUBCheck: no error and no warning but these. OPF-015 ("scripted" declared
    // on pages whose scripts the checker does not see) and NCX-001 (an exported
    // NCX keeps its own identifier) come from the host's contract.
    // In an EPUB 2 book the host's own XHTML5 pages keep their HTML5 doctype
    // (HTM-004) and media elements (RSC-005), which XHTML 1.1 does not know:
    // the library delivers the host's pages as the host wrote them.
    epubcheck: {
        tolerated: new Set(["OPF-015", "NCX-001"]),
        epub2HostPages: { ids: new Set(["HTM-004", "RSC-005"]), path: /^OEBPS\/(Flow_[^/]*|cover)\.xhtml$/ },
    },
    // DAISY Ace: no violation in a file the library wrote, judged on EPUB 3 books.
    // A file counts as the library's unless the export holds the same bytes at
    // the same path: pages copied unchanged are the export's own.
    ace: { violations: 0 },
    // POI's OPC reader opens every updated XPS whose original it opens (POI does
    // not read interleaved pieces, so such originals are skipped).
    poi: { opens: true },
    // Each page of the updated XPS renders like the original's, within JPEG loss.
    // Where a renderer misdraws the original itself, the other renderer (which
    // must pass) is the referee; each such package is named with the reason.
    xpstopng: {
        minPsnr: 30,
        misdrawnOriginals: {
            "corpus/aspose-sample1-1p-tiff-alpha-jpg-icc.xps":
                "libgxps leaves out the original's TIFF with alpha (Resources/R08SY_NN.tif); from the PNG it draws "
                + "the pattern mutool draws for the original",
        },
    },
    mutool: { minPsnr: 30, misdrawnOriginals: {} },
    // eslint-plugin-compat for IE 9, with ES5 syntax: no problem at all.
    eslint: { problems: 0 },
};

// The packages, each with the consumers that judge it.
const epubJudges = (version) => (version === "3" ? ["epubcheck", "ace"] : ["epubcheck"]);
const epubRows = (name, source, variants) =>
    variants.map(([version, fixed]) => ({
        name: `${name} epub${version}${fixed ? " fixed" : ""}`,
        kind: "epub",
        epubVersion: version,
        source,
        options: ["--epub-version", version, ...(fixed ? ["--fixed-layout"] : [])],
        judges: epubJudges(version),
    }));
const blioJudges = ["poi", "xpstopng", "mutool"];
const corpusXps = path.join(corpusDir, "xps");
const packages = [
    ...epubRows("examples/epub-book", path.join(sourceDir, "examples/epub-book"),
        [["3", false], ["3", true], ["2", false], ["2", true]]),
    ...listFolder(path.join(corpusDir, "export"), { folders: true }).flatMap((name) =>
        epubRows(`corpus/${name}`, path.join(corpusDir, "export", name), [["3", false], ["3", true], ["2", false]])),
    { name: "examples/blio-book", kind: "blio", source: path.join(sourceDir, "examples/blio-book"), judges: blioJudges },
    { name: "corpus/book1", kind: "blio", source: path.join(corpusDir, "blio-export/book1"), judges: blioJudges },
    ...listFolder(corpusXps).filter((name) => name.endsWith(".xps")).map((name) =>
        ({ name: `corpus/${name}`, kind: "xps", source: path.join(corpusXps, name), judges: blioJudges })),
    ...["Slideshow/SlideViewer.html", "Html/HtmlViewer.html"].map((page) =>
        ({ name: page, kind: "script", source: path.join(sourceDir, "Resources/Templates", page), judges: ["eslint"] })),
].filter((row) => !only || new RegExp(only).test(row.name));

const poiClassPath = ["poi-ooxml", "poi", "poi-ooxml-schemas", "xmlbeans", "commons-compress",
    "commons-collections4", "commons-codec", "commons-math3", "commons-io"]
    .map((jar) => `/usr/share/java/${jar}.jar`);
const renderResolution = "48";

const work = fs.mkdtempSync(path.join(os.tmpdir(), "interop-"));
const results = [];

function listFolder(folder, { folders = false } = {}) {
    if (!fs.existsSync(folder)) return [];
    return fs.readdirSync(folder, { withFileTypes: true })
        .filter((entry) => entry.isDirectory() === folders).map((entry) => entry.name).sort();
}

function run(command, args, options = {}) {
    const result = spawnSync(command, args, { encoding: "utf8", maxBuffer: 1 << 28, timeout: 600_000, ...options });
    const output = `${result.stdout ?? ""}${result.stderr ?? ""}`.trim();
    return { status: result.error ? -1 : result.status, stdout: result.stdout ?? "", stderr: result.stderr ?? "",
        output: result.error ? String(result.error.message) : output };
}

function oneLine(text, limit = 300) {
    const line = String(text).replace(/\s+/g, " ").trim();
    return line.length > limit ? `${line.slice(0, limit)}...` : line;
}

function report(row, consumer, verdict, message) {
    results.push(verdict);
    console.log(`${verdict.padEnd(4)}  ${row.name.padEnd(58)}  ${consumer.padEnd(9)}  ${oneLine(message, 600)}`);
}

// A copy of an export, with AssetList.xml made from AssetList.xml.in: the asset
// list names absolute paths, and a Blio run changes its export in place.
function copyExport(source, to) {
    fs.cpSync(source, to, { recursive: true });
    run("chmod", ["-R", "u+w", to]);
    const template = path.join(to, "AssetList.xml.in");
    if (fs.existsSync(template)) {
        fs.writeFileSync(path.join(to, "AssetList.xml"), fs.readFileSync(template, "utf8").replaceAll("@EXPORT@", to));
        fs.rmSync(template);
    }
}

// Runs the CLI on a copy of the row's export, in the row's own TMPDIR. Answers
// the export copy, the package and (for XPS) the original, or null on failure.
function makePackage(row, folder) {
    const exportFolder = path.join(folder, "export");
    const tmp = path.join(folder, "tmp");
    fs.mkdirSync(tmp, { recursive: true });
    if (row.kind === "xps") {
        // A minimal Blio export: the XPS and an asset list without assets.
        fs.mkdirSync(exportFolder);
        fs.copyFileSync(row.source, path.join(exportFolder, path.basename(row.source)));
        fs.chmodSync(path.join(exportFolder, path.basename(row.source)), 0o644);
        fs.writeFileSync(path.join(exportFolder, "AssetList.xml"), '<?xml version="1.0" encoding="utf-8"?>\n<AssetList/>\n');
    } else {
        copyExport(row.source, exportFolder);
    }
    const made = { exportFolder };
    let args;
    if (row.kind === "epub") {
        made.packagePath = path.join(folder, "book.epub");
        args = ["epub", exportFolder, made.packagePath, ...row.options];
    } else {
        const xps = listFolder(exportFolder).find((name) => name.toLowerCase().endsWith(".xps"));
        made.original = path.join(folder, "original.xps");
        fs.copyFileSync(path.join(exportFolder, xps), made.original);
        made.packagePath = path.join(folder, "updated.xps");
        args = ["blio", exportFolder, made.packagePath];
    }
    const packed = run(cli, args, { env: { ...process.env, TMPDIR: tmp } });
    if (packed.status !== 0 || !fs.existsSync(made.packagePath)) {
        report(row, "ebookpack", "FAIL", `exit ${packed.status}: ${packed.output}`);
        return null;
    }
    return made;
}

function judgeEpubcheck(row, made, folder) {
    const json = path.join(folder, "epubcheck.json");
    const checked = run("java", ["-jar", "/usr/share/java/epubcheck.jar", made.packagePath, "--json", json]);
    if (!fs.existsSync(json)) return report(row, "epubcheck", "FAIL", `no report: ${checked.output}`);
    const messages = JSON.parse(fs.readFileSync(json, "utf8")).messages
        .filter((m) => ["FATAL", "ERROR", "WARNING"].includes(m.severity));
    const where = (m) => m.locations.slice(0, 1).map((l) => `${l.path}${l.line > 0 ? `:${l.line}` : ""}`).join("");
    const hostPages = expected.epubcheck.epub2HostPages;
    const isTolerated = (m) => expected.epubcheck.tolerated.has(m.ID) ||
        (row.epubVersion === "2" && hostPages.ids.has(m.ID) && m.locations.every((l) => hostPages.path.test(l.path)));
    const unexpected = messages.filter((m) => !isTolerated(m));
    const tolerated = [...new Set(messages.filter(isTolerated).map((m) => m.ID))];
    if (unexpected.length === 0) {
        return report(row, "epubcheck", "PASS", tolerated.length ? `tolerated: ${tolerated.join(", ")}` : "no message");
    }
    report(row, "epubcheck", "FAIL", unexpected.map((m) => `${m.ID} ${where(m)} ${m.message}`).join(" | "));
}

// The package path of each file Ace names, and whether the library wrote it.
function libraryWrote(exportFolder, unpacked, subject, opfFolder) {
    let file = subject.replace(/#.*$/, "").replace(/^\//, "");
    if (!fs.existsSync(path.join(unpacked, file))) file = path.posix.join(opfFolder, file);
    const own = path.join(exportFolder, file);
    const written = path.join(unpacked, file);
    const same = fs.existsSync(own) && fs.existsSync(written) && fs.readFileSync(own).equals(fs.readFileSync(written));
    return { file, wrote: !same };
}

function judgeAce(row, made, folder) {
    const out = path.join(folder, "ace");
    const unpacked = path.join(folder, "unpacked");
    run("unzip", ["-q", "-o", made.packagePath, "-d", unpacked]);
    const opf = run("unzip", ["-Z1", made.packagePath]).stdout.split("\n").find((name) => name.endsWith(".opf")) ?? "";
    const home = path.join(folder, "home");
    const aceTmp = path.join(folder, "ace-tmp");
    fs.mkdirSync(aceTmp, { recursive: true });
    const ace = run("node", [path.join(modules, "@daisy/ace-cli/bin/ace.js"), "-s", "-f", "-o", out, "-t", aceTmp, made.packagePath], {
        env: { ...process.env, HOME: home, XDG_CONFIG_HOME: path.join(home, ".config"), XDG_CACHE_HOME: path.join(home, ".cache"),
            TMPDIR: aceTmp, PUPPETEER_EXECUTABLE_PATH: path.join(here, "chromium.sh"), PUPPETEER_SKIP_DOWNLOAD: "1" },
    });
    const reportFile = path.join(out, "report.json");
    if (!fs.existsSync(reportFile)) return report(row, "ace", "FAIL", `no report (exit ${ace.status}): ${ace.output}`);
    const counted = [];
    const excluded = [];
    for (const subject of JSON.parse(fs.readFileSync(reportFile, "utf8")).assertions) {
        const { file, wrote } = libraryWrote(made.exportFolder, unpacked, subject["earl:testSubject"].url, path.posix.dirname(opf));
        for (const check of subject.assertions ?? []) {
            if (check["earl:result"]["earl:outcome"] !== "fail") continue;
            const test = check["earl:test"];
            if (!wrote) { excluded.push(`${file}: ${test["dct:title"]}`); continue; }
            counted.push(`${file}: ${test["dct:title"]} (${test["earl:impact"]}) ` +
                oneLine(check["earl:result"]["dct:description"] ?? "", 160));
        }
    }
    const note = excluded.length ? ` (not counted, in the export's own unchanged pages: ${[...new Set(excluded)].join(", ")})` : "";
    if (counted.length === expected.ace.violations) return report(row, "ace", "PASS", `no violation in library files${note}`);
    report(row, "ace", "FAIL", `${counted.length} violations${note}: ${[...new Set(counted)].join(" | ")}`);
}

// Pages as PNG files in page order, or an error message.
function render(renderer, xps, into) {
    fs.mkdirSync(into, { recursive: true });
    const drawn = renderer === "xpstopng"
        ? run("xpstopng", ["-r", renderResolution, xps, path.join(into, "page")])
        : run("mutool", ["draw", "-q", "-r", renderResolution, "-o", path.join(into, "page-%d.png"), xps]);
    const pages = listFolder(into).filter((name) => name.endsWith(".png"))
        .sort((a, b) => parseInt(a.match(/\d+/)) - parseInt(b.match(/\d+/))).map((name) => path.join(into, name));
    const problem = drawn.status !== 0 ? `exit ${drawn.status}: ${drawn.output}` : pages.length === 0 ? "no page drawn" : "";
    const warnings = drawn.output.split("\n").filter((line) => /error|cannot|warning/i.test(line) && !/ICC support/.test(line));
    return { pages, problem, warnings };
}

function psnr(a, b) {
    const compared = run("compare", ["-metric", "PSNR", a, b, "null:"]);
    const value = compared.stderr.trim().split(/\s+/)[0];
    if (compared.status === 2 || value === undefined) return { error: oneLine(compared.output) };
    return { value: value === "inf" ? Infinity : Number(value) };
}

function judgeRender(row, made, folder, renderer) {
    const before = render(renderer, made.original, path.join(folder, `${renderer}-original`));
    if (before.problem) return report(row, renderer, "SKIP", `the original does not render either: ${before.problem}`);
    const after = render(renderer, made.packagePath, path.join(folder, `${renderer}-updated`));
    if (after.problem) return report(row, renderer, "FAIL", after.problem);
    const newWarnings = after.warnings.filter((line) => !before.warnings.includes(line));
    if (after.pages.length !== before.pages.length) {
        return report(row, renderer, "FAIL", `${after.pages.length} pages drawn, the original has ${before.pages.length}`);
    }
    let worst = { value: Infinity, page: 0 };
    for (let i = 0; i < before.pages.length; ++i) {
        const score = psnr(before.pages[i], after.pages[i]);
        if (score.error) return report(row, renderer, "FAIL", `page ${i + 1}: ${score.error}`);
        if (score.value < worst.value) worst = { value: score.value, page: i + 1 };
    }
    const summary = worst.page ? `lowest PSNR ${worst.value.toFixed(1)} dB on page ${worst.page} of ${before.pages.length}`
        : `identical (${before.pages.length} page${before.pages.length === 1 ? "" : "s"})`;
    const warned = newWarnings.length ? `; new messages: ${[...new Set(newWarnings)].join(" | ")}` : "";
    const misdrawn = expected[renderer].misdrawnOriginals[row.name];
    const pass = (worst.value >= expected[renderer].minPsnr || misdrawn !== undefined) && newWarnings.length === 0;
    report(row, renderer, pass ? "PASS" : "FAIL", summary + warned + (misdrawn ? ` (original misdrawn: ${misdrawn})` : ""));
}

// One JVM for every XPS, each given as [row, made]: the reader is compiled from
// OpcParts.java first.
function judgePoi(rows) {
    if (rows.length === 0) return;
    const classes = path.join(work, "poi-classes");
    const classPath = poiClassPath.join(":");
    const compiled = run("javac", ["-d", classes, "-cp", classPath, path.join(here, "OpcParts.java")]);
    if (compiled.status !== 0) {
        for (const [row] of rows) report(row, "poi", "FAIL", `cannot compile the OPC reader: ${compiled.output}`);
        return;
    }
    const opened = run("java", ["-cp", `${classes}:${classPath}`, "OpcParts", ...rows.flatMap(([, made]) => [made.original, made.packagePath])]);
    const verdicts = new Map(opened.stdout.split("\n").filter(Boolean).map((line) => {
        const [verdict, file, ...rest] = line.split(" ");
        return [file, { opened: verdict === "ok", message: rest.join(" ") }];
    }));
    for (const [row, made] of rows) {
        const before = verdicts.get(made.original);
        const after = verdicts.get(made.packagePath);
        if (!before || !after) report(row, "poi", "FAIL", `no answer from the OPC reader: ${opened.output}`);
        else if (!before.opened) report(row, "poi", "SKIP", `the original is refused too: ${before.message}`);
        else if (after.opened) report(row, "poi", "PASS", `opened, ${after.message.split(" ").length} parts, each with a content type`);
        else report(row, "poi", "FAIL", after.message);
    }
}

function judgeEslint(rows) {
    if (rows.length === 0) return;
    // eslint judges only files under its working folder, so it runs from the source tree.
    const linted = run(path.join(modules, ".bin/eslint"), ["--no-config-lookup", "-c", path.join(here, "eslint.config.mjs"),
        "-f", "json", ...rows.map((row) => row.source)], { cwd: sourceDir });
    let files;
    try { files = JSON.parse(linted.stdout); } catch { files = []; }
    for (const row of rows) {
        const file = files.find((f) => f.filePath === path.resolve(row.source));
        if (!file) { report(row, "eslint", "FAIL", `no answer from eslint: ${linted.output}`); continue; }
        const problems = file.messages.map((m) => `line ${m.line}: ${m.message}${m.ruleId ? ` (${m.ruleId})` : ""}`);
        if (problems.length === expected.eslint.problems) report(row, "eslint", "PASS", "no problem for IE 9");
        else report(row, "eslint", "FAIL", problems.join(" | "));
    }
}

try {
    if (!fs.existsSync(path.join(corpusDir, "xps"))) console.log(`note: no corpus at ${corpusDir}; corpus rows left out`);
    const poiRows = [];
    let index = 0;
    for (const row of packages) {
        if (row.kind === "script") continue;
        const folder = path.join(work, String(++index));
        fs.mkdirSync(folder);
        const made = makePackage(row, folder);
        if (!made) continue;
        if (row.judges.includes("epubcheck")) judgeEpubcheck(row, made, folder);
        if (row.judges.includes("ace")) judgeAce(row, made, folder);
        if (row.judges.includes("poi")) poiRows.push([row, made]);
        for (const renderer of ["xpstopng", "mutool"]) if (row.judges.includes(renderer)) judgeRender(row, made, folder, renderer);
    }
    judgePoi(poiRows);
    judgeEslint(packages.filter((row) => row.kind === "script"));
} finally {
    if (!process.env.INTEROP_KEEP) fs.rmSync(work, { recursive: true, force: true });
    else console.log(`kept: ${work}`);
}

const count = (verdict) => results.filter((r) => r === verdict).length;
console.log(`interop: ${count("PASS")} passed, ${count("FAIL")} failed, ${count("SKIP")} skipped`);
process.exit(count("FAIL") === 0 && results.length > 0 ? 0 : 1);
