// The navigation of every page: the settings link for administrators, who is logged in, and "Log in", which
// makes the browser ask for a user name and password and comes back to this page.
import {request, showFailure} from '/request.js';

const loginLink = document.getElementById('loginLink');
if (loginLink)
  loginLink.href = '/login?to=' + encodeURIComponent(location.pathname);
request('GET', '/ws/access').then((access) => {
  if (access.Level === 'admin')
    document.getElementById('settingsLink')?.classList.remove('d-none');
  const user = document.getElementById('loginUser');
  if (user)
    user.textContent = access.User ? 'Logged in as ' + access.User : 'Not logged in';
}, (error) => showFailure('The login could not be read', error));
