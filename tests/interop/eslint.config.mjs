// Judges the viewer pages' inline scripts as an Internet Explorer 9 engine
// would run them: ES5 syntax only (anything newer is a parse error) and no
// browser API that IE 9 lacks.
import compat from "eslint-plugin-compat";
import html from "eslint-plugin-html";

export default [
    {
        files: ["**/*.html"],
        plugins: { compat, html },
        languageOptions: { ecmaVersion: 5, sourceType: "script" },
        settings: { browsers: ["IE 9"] },
        rules: { "compat/compat": "error" },
    },
];
