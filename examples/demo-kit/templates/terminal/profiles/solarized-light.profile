[profile]
name=Office (light)
font=Monospace 11
scrollback-lines=10000
colors=solarized-light
