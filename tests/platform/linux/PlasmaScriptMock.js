// Runs one Plasma desktop script, read from stdin, against the desktops kept in
// a JSON state file (node PlasmaScriptMock.js STATE), as plasmashell's script
// engine would: desktops() with wallpaperPlugin, currentConfigGroup,
// configKeys, readConfig and writeConfig; print; applicationVersion. Writes
// the state back and prints {printed, calls, newGlobals[, error]} as JSON.
'use strict';
const fs = require('fs');
const vm = require('vm');

const statePath = process.argv[2];
const state = JSON.parse(fs.readFileSync(statePath, 'utf8'));
const script = fs.readFileSync(0, 'utf8');
const calls = [];
let printed = '';

function Desktop(index) {
    const desktop = state.desktops[index];
    let group = '';
    return {
        get wallpaperPlugin() { return desktop.plugin; },
        set wallpaperPlugin(plugin) {
            calls.push([index, 'wallpaperPlugin', String(plugin)]);
            desktop.plugin = String(plugin);
        },
        get currentConfigGroup() { return group.split('/'); },
        set currentConfigGroup(path) {
            group = Array.from(path, String).join('/');
            calls.push([index, 'currentConfigGroup', group]);
        },
        get configKeys() { return Object.keys(desktop.groups[group] || {}); },
        readConfig(key, fallback) {
            const values = desktop.groups[group] || {};
            return Object.prototype.hasOwnProperty.call(values, key) ? values[key] : fallback;
        },
        // The configuration keeps text, as KConfig does.
        writeConfig(key, value) {
            calls.push([index, 'writeConfig', String(key), String(value)]);
            desktop.groups[group] = desktop.groups[group] || {};
            desktop.groups[group][String(key)] = String(value);
        },
    };
}

const sandbox = {
    desktops: () => state.desktops.map((_, i) => Desktop(i)),
    print: (text) => { printed += String(text); },  // no line ends to rely on
    applicationVersion: state.version,
};
const context = vm.createContext(sandbox);
const before = new Set(Object.getOwnPropertyNames(sandbox));
const result = {};
try {
    vm.runInContext(script, context, {timeout: 5000});
} catch (e) {
    result.error = String(e);
}
fs.writeFileSync(statePath, JSON.stringify(state));
result.printed = printed;
result.calls = calls;
result.newGlobals = Object.getOwnPropertyNames(sandbox).filter((name) => !before.has(name));
process.stdout.write(JSON.stringify(result));
