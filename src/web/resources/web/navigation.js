// The navigation of every page: the settings link for administrators, who is logged in, and "Log in", which
// makes the browser ask for a user name and password and comes back to this page. The pages import the answer
// of /ws/access from here instead of asking again.
import {request, showFailure} from '/request.js';

export const access = request('GET', '/ws/access');

const loginLink = document.getElementById('loginLink');
if (loginLink)
  loginLink.href = '/login?to=' + encodeURIComponent(location.pathname);
access.then((answer) => {
  if (answer.Level === 'admin')
    document.getElementById('settingsLink')?.classList.remove('d-none');
  const user = document.getElementById('loginUser');
  if (user)
    user.textContent = answer.User ? 'Logged in as ' + answer.User : 'Not logged in';
}, (error) => showFailure('The login could not be read', error));
