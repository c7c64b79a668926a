# The browser libraries the pages load, as "file below node_modules=request path". They are copied unchanged
# from the npm packages pinned in package-lock.json; nothing else of the packages is shipped. Font Awesome's
# style sheet also names EOT, TTF and SVG fonts, which no current browser asks for (it takes WOFF2, else WOFF).
set(TAPEVAULT_WEB_LIBRARIES
    "jquery/dist/jquery.min.js=/assets/js/jquery.min.js"
    "bootstrap/dist/css/bootstrap.min.css=/assets/css/bootstrap.min.css"
    "bootstrap/dist/js/bootstrap.min.js=/assets/js/bootstrap.min.js"
    "moment/min/moment.min.js=/assets/js/moment.min.js"
    "@fullcalendar/core/main.min.js=/assets/fullcalendar/core/main.min.js"
    "@fullcalendar/core/main.min.css=/assets/fullcalendar/core/main.min.css"
    "@fullcalendar/daygrid/main.min.js=/assets/fullcalendar/daygrid/main.min.js"
    "@fullcalendar/daygrid/main.min.css=/assets/fullcalendar/daygrid/main.min.css"
    "@fullcalendar/timegrid/main.min.js=/assets/fullcalendar/timegrid/main.min.js"
    "@fullcalendar/timegrid/main.min.css=/assets/fullcalendar/timegrid/main.min.css"
    "@fullcalendar/list/main.min.js=/assets/fullcalendar/list/main.min.js"
    "@fullcalendar/list/main.min.css=/assets/fullcalendar/list/main.min.css"
    "@fullcalendar/bootstrap/main.min.js=/assets/fullcalendar/bootstrap/main.min.js"
    "@fullcalendar/bootstrap/main.min.css=/assets/fullcalendar/bootstrap/main.min.css"
    "@fortawesome/fontawesome-free/css/all.min.css=/assets/fontawesome/css/all.min.css"
    "@fortawesome/fontawesome-free/webfonts/fa-solid-900.woff2=/assets/fontawesome/webfonts/fa-solid-900.woff2"
    "@fortawesome/fontawesome-free/webfonts/fa-solid-900.woff=/assets/fontawesome/webfonts/fa-solid-900.woff"
    "@fortawesome/fontawesome-free/webfonts/fa-regular-400.woff2=/assets/fontawesome/webfonts/fa-regular-400.woff2"
    "@fortawesome/fontawesome-free/webfonts/fa-regular-400.woff=/assets/fontawesome/webfonts/fa-regular-400.woff"
    "@fortawesome/fontawesome-free/webfonts/fa-brands-400.woff2=/assets/fontawesome/webfonts/fa-brands-400.woff2"
    "@fortawesome/fontawesome-free/webfonts/fa-brands-400.woff=/assets/fontawesome/webfonts/fa-brands-400.woff"
    "wavesurfer.js/dist/wavesurfer.esm.js=/assets/js/wavesurfer/wavesurfer.esm.js"
    "wavesurfer.js/dist/plugins/timeline.esm.js=/assets/js/wavesurfer/plugins/timeline.esm.js")
