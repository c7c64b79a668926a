// Shows the link to the settings page to administrators only.
fetch('/ws/access', {credentials: 'same-origin'})
    .then((response) => (response.ok ? response.json() : null))
    .then((access) => {
      if (access && access.Level === 'admin')
        document.getElementById('settingsLink')?.classList.remove('d-none');
    })
    .catch(() => {});
