// ESLint for the pages' scripts and the browser tests; `make test` runs it as the test web_lint.
import js from '@eslint/js';
import globals from 'globals';

const style = {
  'eqeqeq': ['error', 'always'],
  'no-var': 'error',
  'prefer-const': 'error',
  'quotes': ['error', 'single', {avoidEscape: true, allowTemplateLiterals: true}],
  'semi': ['error', 'always'],
};

export default [
  js.configs.recommended,
  {
    // The pages are modules beside the classic scripts of jQuery, moment and FullCalendar.
    files: ['src/web/resources/web/*.js'],
    languageOptions: {globals: {...globals.browser, $: 'readonly', moment: 'readonly', FullCalendar: 'readonly'}},
    rules: style,
  },
  {
    // The functions that the tests hand to the page run in the browser.
    files: ['tests/web/browser/*.mjs'],
    languageOptions: {globals: {...globals.node, ...globals.browser}},
    rules: style,
  },
];
