// The pages' requests to their own server, and how a page shows one that failed: in its #requestFailure element,
// one line per kind of request, each saying what failed with the HTTP status and what the server answered.

export class RequestError extends Error {
  constructor(iStatus, iText, iBody) {
    super(iStatus ? `HTTP ${iStatus}: ${iText}` : iText);
    this.status = iStatus;
    this.body = iBody; // the JSON answer, or null
  }
}

// The server's error pages are plain text or HTML in the charset they name; of HTML only the text counts. A
// parsed document is never shown, so nothing in it runs or loads.
function answerText(iType, iBytes) {
  const charset = /charset=([^;\s]+)/i.exec(iType)?.[1] ?? 'utf-8';
  let text;
  try {
    text = new TextDecoder(charset).decode(iBytes);
  } catch {
    text = new TextDecoder().decode(iBytes);
  }
  if (/^text\/html/i.test(iType))
    text = new DOMParser().parseFromString(text, 'text/html').body.textContent;
  return text.replace(/\s+/g, ' ').trim();
}

// iBody: URLSearchParams go as a form, anything else as JSON. Resolves to the parsed JSON answer (the text of any
// other); rejects with a RequestError.
export async function request(iMethod, iPath, iBody) {
  // Every answer of the server's interfaces is current state: none may come from the browser's cache.
  const options = {method: iMethod, credentials: 'same-origin', cache: 'no-store'};
  if (iBody instanceof URLSearchParams)
    options.body = iBody;
  else if (iBody !== undefined) {
    options.headers = {'Content-Type': 'application/json'};
    options.body = JSON.stringify(iBody);
  }
  let response;
  let bytes;
  try {
    response = await fetch(iPath, options);
    bytes = await response.arrayBuffer();
  } catch {
    throw new RequestError(0, 'the server did not answer', null);
  }
  const type = response.headers.get('Content-Type') ?? '';
  const text = answerText(type, bytes);
  let body = null;
  if (/^application\/json/i.test(type)) {
    try {
      body = JSON.parse(text);
    } catch {
      throw new RequestError(response.status, 'the answer is no JSON', null);
    }
  }
  if (!response.ok) {
    const message = typeof body?.Error === 'string' ? body.Error : body === null ? text : '';
    throw new RequestError(response.status, message || response.statusText, body);
  }
  return body ?? text;
}

function failureBox() {
  return document.getElementById('requestFailure');
}

// Shows "iWhat (HTTP status: the server's message)" as text, in place of an earlier failure of the same iWhat.
export function showFailure(iWhat, iError) {
  const box = failureBox();
  let line = [...box.children].find((child) => child.dataset.what === iWhat);
  if (!line) {
    line = box.appendChild(document.createElement('div'));
    line.dataset.what = iWhat;
  }
  line.textContent = `${iWhat} (${iError instanceof Error ? iError.message : String(iError)})`;
  box.hidden = false;
}

// Removes the failure of iWhat, once that request succeeded or what it showed is gone.
export function hideFailure(iWhat) {
  const box = failureBox();
  for (const line of [...box.children])
    if (line.dataset.what === iWhat)
      line.remove();
  box.hidden = box.children.length === 0;
}
