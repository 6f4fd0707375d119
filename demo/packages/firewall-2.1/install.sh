echo "firewall up" >> /var/log/install.log
